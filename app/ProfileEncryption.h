#pragma once

// Switching a profile file between plain and enciphered storage, and
// deciphering one for editing, as the profile encryption window does it. The
// enciphering itself and the register of files the profile store keeps
// enciphered are the support library's (support/EncryptedProfile.h).
//
// Errors: false with the profile store's message; the file stays as the
// failing call left it.

#include "support/String.h"

// Brings the file to the wanted state: a plain file is enciphered and its
// name registered; an enciphered one is deciphered and unregistered. A file
// already in the wanted state only has its registration brought in line.
bool SetProfileEncryption(const char* path, bool encipher, Tovanix::String& error);

// Deciphers an enciphered file in place so that a text editor can open it;
// `deciphered` tells whether it was enciphered. The plain file is readable
// by its owner only, and its name stays registered, so the profile store's
// next write of it enciphers it again. A plain file is left alone.
bool DecipherProfileForEditing(const char* path, bool& deciphered, Tovanix::String& error);

// <data root>/Users.ini unless the application names another file.
Tovanix::String UsersIniPath();
