// calldeck serve: the web users of a single desk's Player.mdb, kept in
// PlayerWebUsers in the state folder, one "name<TAB>Argon2id hash" a line.
// Only the hash (libsodium's crypto_pwhash_str, its salt and costs inside)
// is kept, so the file gives no password away; it is still made 0600 in a
// 0700 folder, and rewritten whole through a private temporary and a rename.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace calldeck::web {

// StateFolder()/PlayerWebUsers.
std::filesystem::path WebUsersFile();

// A name: 1 to 64 letters, digits, '.', '_', '-' or '@'. Throws
// std::invalid_argument with the reason for any other.
void CheckWebUserName(const std::string& name);

// The names, in file order. Throws std::runtime_error when the file cannot
// be read (a missing file holds nobody).
std::vector<std::string> ListWebUsers(const std::filesystem::path& file = WebUsersFile());

// Adds the user, or gives a known one the new password (at least 8
// characters). Throws std::invalid_argument or std::runtime_error.
void SetWebUser(const std::string& name, const std::string& password,
                const std::filesystem::path& file = WebUsersFile());
// False when there was no such user.
bool RemoveWebUser(const std::string& name, const std::filesystem::path& file = WebUsersFile());

// True when the name is a user and the password theirs. An unknown name
// costs a hash check all the same, so the time taken does not tell which
// names exist.
bool CheckWebUser(const std::string& name, const std::string& password,
                  const std::filesystem::path& file = WebUsersFile());

}  // namespace calldeck::web
