-- Development data for db/lab-dev-schema.sql: the strip analyser is machine 5 ("Strivex"), with
-- investigation 1 (S_TRV) and its twelve strip parameters as details 1..12. Loading it again puts
-- the reference data and requests back as they are here; stored results (lab_results) and sent
-- work-list entries (work_list_sent) are left alone.
--
-- Requests 1021..1030 carry the barcodes 81021..81030, so a lookup by request id and one by
-- barcode find the same request. Request 1024 names only machine 7's investigation, which shares
-- the item with S_TRV: it is found for machine 5 only through the item. Request 1029 names no
-- investigation (nothing found), request 1030 has no patient (found, patient NULL).

BEGIN;
SET LOCAL search_path = dbo, public;

TRUNCATE L_REPLACEMENT_CODES, l_investigations, l_investigation_details, patients, l_requests,
         l_request_details, WORK_LIST, LAB_REQUESTS;

INSERT INTO l_investigations (id, code, machineid, itemid) VALUES
  (1, 'S_TRV', 5, 300),
  (2, 'U_STRIP', 7, 300);

INSERT INTO l_investigation_details (id, code, investigationid) VALUES
  (1, 'LEU', 1), (2, 'NIT', 1), (3, 'URO', 1), (4, 'PRO', 1), (5, 'pH', 1), (6, 'BLD', 1),
  (7, 'SG', 1), (8, 'KET', 1), (9, 'BIL', 1), (10, 'GLU', 1), (11, 'ASC', 1), (12, 'COL', 1),
  (13, 'GLU', 2), (14, 'PRO', 2);

INSERT INTO L_REPLACEMENT_CODES (machineID, MachineCode, ReplacementCode) VALUES
  (5, 'SG', 'DENS'),
  (5, 'BLD', 'ERY'),
  (7, 'SG', 'GS');

INSERT INTO patients (id, LastName, FirstName) VALUES
  (1, 'Popescu', 'Ion'),
  (2, 'Ştefănescu', 'Ana'),
  (3, 'Ionescu', 'Maria'),
  (4, 'Dumitrescu', 'Gheorghe'),
  (5, 'Constantinescu', 'Elena'),
  (6, 'Munteanu', 'Vasile'),
  (7, 'Bălan', 'Ioana'),
  (8, 'Georgescu', 'Mihai');

INSERT INTO l_requests (id, patientid, externalbarcodeid) VALUES
  (1021, 1, 81021), (1022, 2, 81022), (1023, 3, 81023), (1024, 4, 81024), (1025, 5, 81025),
  (1026, 6, 81026), (1027, 7, 81027), (1028, 8, 81028), (1029, 1, 81029), (1030, NULL, 81030);

INSERT INTO l_request_details (requestid, investigationid) VALUES
  (1021, 1), (1022, 1), (1023, 1), (1024, 2), (1025, 1), (1026, 2), (1027, 1), (1028, 1),
  (1030, 1);

-- The demo's samples (./run demo prints them) are requests of known patients: its window names them.
INSERT INTO l_requests (id, patientid, externalbarcodeid) VALUES
  (30512, 2, NULL), (30520, 5, NULL), (30521, 7, NULL), (30522, 8, NULL);
INSERT INTO l_request_details (requestid, investigationid) VALUES
  (30512, 1), (30520, 1), (30521, 1), (30522, 1);

INSERT INTO LAB_REQUESTS (ID, RequestedDate) VALUES
  (1021, '2026-12-01 07:45'), (1022, '2026-12-01 08:10'), (1023, '2026-12-02 09:30'),
  (1024, '2026-12-02 10:05'), (1025, '2026-11-28 11:20'), (1026, '2026-12-03 07:55'),
  (1027, '2026-12-03 08:40'), (1028, '2026-12-04 12:15'), (1029, '2026-12-04 13:00'),
  (1030, '2026-12-05 08:00');

-- Machine 5's pending analyses: 1023 has three, 1025 lies before December; 1026 is machine 7's.
INSERT INTO WORK_LIST (RequestID, SampleCode, PacientName, AnalyseCode, RequestDate, MachineID) VALUES
  (1021, '81021', 'Popescu Ion', 'S_TRV', '2026-12-01 07:45', 5),
  (1022, '81022', 'Ştefănescu Ana', 'S_TRV', '2026-12-01 08:10', 5),
  (1023, '81023', 'Ionescu Maria', 'S_TRV', '2026-12-02 09:30', 5),
  (1023, '81023', 'Ionescu Maria', 'S_SED', '2026-12-02 09:30', 5),
  (1023, '81023', 'Ionescu Maria', 'S_CUL', '2026-12-02 09:30', 5),
  (1025, '81025', 'Constantinescu Elena', 'S_TRV', '2026-11-28 11:20', 5),
  (1026, '81026', 'Munteanu Vasile', 'U_STRIP', '2026-12-03 07:55', 7),
  (1027, '81027', 'Bălan Ioana', 'S_TRV', '2026-12-03 08:40', 5);

COMMIT;
