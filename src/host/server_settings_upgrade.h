#pragma once
// A local database made before the server's port, TDS version and character set had rows of
// their own: the start-up adds the rows and moves an old "HOST;Port=N;TDS_Version=V;
// ClientCharset=C" server address into them, once.

#include <string>
#include <vector>

namespace strivex {

class BazaDeDate;
struct ServerSettings;

// `present`: the "Medianex_Init" properties the file holds. Adds "Port Server", "Versiune TDS" and
// "Set Caractere" where missing; an "Adresa Server" holding ';' is rewritten to its host and its
// values go to those rows (a row that already holds a value keeps it). `settings` is left as the
// file now says; a move is logged in "_acterr.log", the password never.
void UpgradeServerRows(BazaDeDate& local, ServerSettings& settings, const std::vector<std::string>& present);

}  // namespace strivex
