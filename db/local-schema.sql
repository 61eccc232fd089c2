-- The installation's own database: where the laboratory server is, which instrument this is and
-- how its serial line is set. Texts compare case-insensitively, as the settings have always been
-- matched ('port' inserted, 'Port' updated).

CREATE TABLE IF NOT EXISTS Medianex_Init (
  Proprietate TEXT COLLATE NOCASE NOT NULL,
  Valoare     TEXT COLLATE NOCASE
);

CREATE TABLE IF NOT EXISTS MACHINES (
  ID   INTEGER NOT NULL,
  name TEXT COLLATE NOCASE NOT NULL
);

CREATE TABLE IF NOT EXISTS MACHINE_SETTINGS (
  MachineID INTEGER NOT NULL,
  NAME      TEXT COLLATE NOCASE NOT NULL,
  VALUE     TEXT COLLATE NOCASE
);

-- The server settings are only ever updated, so their rows exist from the start.
INSERT INTO Medianex_Init (Proprietate, Valoare) VALUES
  ('Adresa Server', ''),
  ('Baza de date', ''),
  ('Utilizator', ''),
  ('Parola', ''),
  ('DirectConect', '1'),
  -- The server's own port, TDS version and character set; empty: the driver's default.
  ('Port Server', ''),
  ('Versiune TDS', ''),
  ('Set Caractere', '');
