#include "app/ProfileEncryption.h"

#include <filesystem>
#include <system_error>

#include "app/VelloraApp.h"
#include "support/EncryptedProfile.h"
#include "support/ProfileFiles.h"

namespace {

// The register holds names with their extension, without the folder.
bool FileName(const char* path, Tovanix::String& name) { return Tovanix::GetPathPart(name, path, false, true, true); }

}  // namespace

bool SetProfileEncryption(const char* path, bool encipher, Tovanix::String& error) {
    bool encrypted = false;
    if (!Tovanix::E_IsFileEncrypted(path, encrypted, error)) return false;
    if (encipher && !encrypted && !Tovanix::E_EncryptFile(path, error)) return false;
    if (!encipher && encrypted && !Tovanix::E_DecryptFile(path, error)) return false;
    Tovanix::String name;
    FileName(path, name);
    if (encipher) {
        Tovanix::E_MarkFileEncrypted(name.c_str());
    } else {
        Tovanix::E_UnmarkFileEncrypted(name.c_str());
    }
    return true;
}

bool DecipherProfileForEditing(const char* path, bool& deciphered, Tovanix::String& error) {
    deciphered = false;
    bool encrypted = false;
    if (!Tovanix::E_IsFileEncrypted(path, encrypted, error)) return false;
    if (!encrypted) return true;
    // The file is meant to be secret: before its plain text is written, only
    // its owner may read it (the rewrite keeps the file's permissions).
    std::error_code ec;
    std::filesystem::permissions(Tovanix::ProfileFiles::ResolvePath(path),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, ec);
    if (ec) {
        error = (std::string("DecipherProfileForEditing() : unable to restrict access to ") + path + ": " +
                 ec.message())
                    .c_str();
        return false;
    }
    if (!Tovanix::E_DecryptFile(path, error)) return false;
    deciphered = true;
    return true;
}

Tovanix::String UsersIniPath() {
    if (!theApp.m_strUsersIniPath.IsEmpty()) return Tovanix::String(theApp.m_strUsersIniPath.GetString());
    Tovanix::String path;
    path.SetPath(theApp.m_strDataRoot.GetString(), "Users.ini");
    return path;
}
