#include "support/MurmurHash3.h"
#include "support/tests/ProfileTestSupport.h"

#include <cstring>
#include <random>
#include <unistd.h>

namespace {

using profiletest::Bytes;
using profiletest::ProfileTest;
using profiletest::Put;
using profiletest::Text;

std::string RandomBytes(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& b : bytes) b = char(random() & 0xFF);
    return bytes;
}

class EncryptedProfileTest : public ProfileTest {
protected:
    // Writes a key file of random bytes and loads it.
    void LoadKey(unsigned seed = 1, size_t size = 64000) {
        m_key = RandomBytes(size, seed);
        Put(Path("rand.bin"), m_key);
        Tovanix::String error;
        ASSERT_TRUE(Tovanix::E_LoadRandomFile(Path("rand.bin").c_str(), error)) << Text(error);
    }

    // A profile file with the given text, enciphered with the loaded key.
    std::string EncipheredFile(const std::string& name, const std::string& text) {
        const std::string file = Path(name);
        Put(file, text);
        Tovanix::String error;
        EXPECT_TRUE(Tovanix::E_EncryptFile(file.c_str(), error)) << Text(error);
        return file;
    }

    std::string Fingerprint() const {
        return std::string(Tovanix::g_RandomFileFingerprint.begin(), Tovanix::g_RandomFileFingerprint.end());
    }

    std::string m_key;
};

TEST_F(EncryptedProfileTest, KeyFileSizeLimits) {
    struct Case {
        off_t size;
        bool ok;
        const char* message;
    };
    const Case cases[] = {
        {63999, false, "Tovanix::E_LoadRandomFile() File must be at least 64KB: "},
        {64000, true, ""},
        {32000000, true, ""},
        {32000001, false, "Tovanix::E_LoadRandomFile() File must less than 32MB: "},
    };
    const std::string path = Path("rand.bin");
    for (const Case& c : cases) {
        Put(path, "");
        ASSERT_EQ(truncate(path.c_str(), c.size), 0);
        Tovanix::g_RandomFileFingerprint.clear();
        Tovanix::String error;
        EXPECT_EQ(Tovanix::E_LoadRandomFile(path.c_str(), error), c.ok) << c.size;
        EXPECT_EQ(Text(error), c.ok ? "" : c.message + path) << c.size;
        EXPECT_EQ(Tovanix::g_RandomFileFingerprint.size(), c.ok ? 32u : 0u) << c.size;
    }
    Tovanix::String error;
    EXPECT_FALSE(Tovanix::E_LoadRandomFile(Path("absent.bin").c_str(), error));
    EXPECT_EQ(Text(error), "Tovanix::E_LoadRandomFile() File does not exist: " + Path("absent.bin"));
}

TEST_F(EncryptedProfileTest, FingerprintIsTwoDigestsOfTheKeyFile) {
    LoadKey(7);
    uint64_t first[2];
    uint64_t second[2];
    Tovanix::MurmurHash3_x64_128(m_key.data(), m_key.size(), 0, first);
    Tovanix::MurmurHash3_x64_128(m_key.data(), m_key.size(), uint32_t(first[0]), second);
    std::string expected;
    for (uint64_t half : {first[0], first[1], second[0], second[1]}) {
        for (int i = 0; i < 8; ++i) expected += char(half >> (8 * i));
    }
    EXPECT_EQ(Fingerprint(), expected);

    // One byte changed gives another fingerprint.
    std::string other = m_key;
    other[31999] ^= 1;
    Put(Path("other.bin"), other);
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::E_LoadRandomFile(Path("other.bin").c_str(), error));
    EXPECT_NE(Fingerprint(), expected);
}

TEST_F(EncryptedProfileTest, EncipherAndDecipherRoundTrip) {
    LoadKey();
    const std::string texts[] = {"", "a", "[S]\r\nk=v\r\n", RandomBytes(5000, 3)};
    for (const std::string& plain : texts) {
        std::string buffer = plain;
        Tovanix::String error;
        ASSERT_TRUE(Tovanix::encrypt(buffer, error));
        EXPECT_EQ(buffer.size(), plain.size() + 32);
        EXPECT_EQ(buffer.substr(0, 32), Fingerprint());
        if (plain.size() > 8) {
            EXPECT_NE(buffer.substr(32), plain);
        }
        ASSERT_TRUE(Tovanix::decrypt(buffer, error));
        EXPECT_EQ(buffer, plain);
    }
}

TEST_F(EncryptedProfileTest, CipherRefusals) {
    std::string buffer = "text";
    Tovanix::String error;
    EXPECT_FALSE(Tovanix::encrypt(buffer, error));
    EXPECT_EQ(Text(error), "Tovanix::encrypt() : internal error #1.");
    EXPECT_FALSE(Tovanix::decrypt(buffer, error));
    EXPECT_EQ(Text(error), "Tovanix::decrypt() : internal error #1.");
    LoadKey();
    buffer = std::string(31, '\x90');
    EXPECT_FALSE(Tovanix::decrypt(buffer, error));
    EXPECT_EQ(Text(error), "Tovanix::decrypt() : internal error #2.");
    buffer = std::string(40, '\x90');
    EXPECT_FALSE(Tovanix::decrypt(buffer, error));
    EXPECT_EQ(Text(error), "Tovanix::decrypt() : internal error #3.");
    EXPECT_EQ(buffer, std::string(40, '\x90'));
}

// The key stream written out plainly, step by step, to pin the exact
// bytes of enciphered files: stored files must stay readable.
std::string ReferenceCipher(const std::string& plain, const std::string& key, const std::string& fingerprint,
                            int& repeats) {
    std::string out = plain;
    uint8_t state[32];
    std::memcpy(state, fingerprint.data(), 32);
    long long previous = -1;
    repeats = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        long long j = Tovanix::MurmurHash3_x86_32(state, 32, 0) % uint32_t(key.size());
        if (j == previous) {
            j = (j + 1) % (long long)key.size();
            ++repeats;
        }
        out[i] = char(out[i] ^ key[size_t(j)]);
        state[i % 32] = uint8_t(key[size_t(j)]);
        previous = j;
    }
    return out;
}

TEST_F(EncryptedProfileTest, EncipheredBytesMatchAPlainReferenceCipher) {
    LoadKey(11);
    const std::string plain = RandomBytes(300000, 5);
    int repeats = 0;
    const std::string expected = ReferenceCipher(plain, m_key, Fingerprint(), repeats);
    EXPECT_GT(repeats, 0) << "the text should be long enough to meet a repeated position";
    std::string buffer = plain;
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::encrypt(buffer, error));
    EXPECT_TRUE(buffer.substr(32) == expected);
}

TEST_F(EncryptedProfileTest, HeaderTest) {
    LoadKey();
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        bool encrypted;
    };
    std::string bom = "\xEF\xBB\xBF[Main]\r\nGain=5\r\nOffset=1234567890\r\n";
    std::string enciphered = "[S]\r\nk=v\r\n";
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::encrypt(enciphered, error));
    const Case cases[] = {
        {"short plain", "[S]\r\nk=v\r\n", true, false},
        {"31 high bytes", std::string(31, '\xF0'), true, false},  // under 32 bytes: never enciphered
        {"long plain", "[Main]\r\nGain=5\r\nOffset=1234567890\r\nMore=1\r\n", true, false},
        {"own key", enciphered, true, true},
        {"byte-order mark", bom, false, true},
    };
    for (const Case& c : cases) {
        const std::string file = Path("Header.ini");
        Put(file, c.bytes);
        bool encrypted = !c.encrypted;
        error = "";
        EXPECT_EQ(Tovanix::E_IsFileEncrypted(file.c_str(), encrypted, error), c.ok) << c.name;
        EXPECT_EQ(encrypted, c.encrypted) << c.name;
        if (!c.ok) {
            EXPECT_EQ(Text(error), "Tovanix::E_IsFileEncrypted() : encrypted file not compatible with rand.bin: " + file);
        }
    }
    bool encrypted = true;
    EXPECT_FALSE(Tovanix::E_IsFileEncrypted(Path("none.ini").c_str(), encrypted, error));
    EXPECT_FALSE(encrypted);
    EXPECT_EQ(Text(error), "Tovanix::E_IsFileEncrypted() : file does not exist: " + Path("none.ini"));

    // Without a key file no enciphered file is compatible, so neither
    // enciphering nor deciphering reports success on it; plain files still are.
    Tovanix::g_RandomFileFingerprint.clear();
    Tovanix::g_RandomFileData.clear();
    const std::string file = Path("Header.ini");
    Put(file, bom);
    EXPECT_FALSE(Tovanix::E_IsFileEncrypted(file.c_str(), encrypted, error));
    EXPECT_TRUE(encrypted);
    EXPECT_EQ(Text(error), "Tovanix::E_IsFileEncrypted() : encrypted file not compatible with rand.bin: " + file);
    EXPECT_FALSE(Tovanix::E_EncryptFile(file.c_str(), error));
    EXPECT_FALSE(Tovanix::E_DecryptFile(file.c_str(), error));
    EXPECT_EQ(Bytes(file), bom);
    Put(file, "[S]\r\nk=v\r\n");
    EXPECT_TRUE(Tovanix::E_IsFileEncrypted(file.c_str(), encrypted, error));
    EXPECT_FALSE(encrypted);
}

TEST_F(EncryptedProfileTest, EncryptAndDecryptFilesInPlace) {
    LoadKey();
    const std::string file = Path("Users.ini");
    const std::string plain = "[Users]\r\nadmin=secret\r\n";
    Put(file, plain);
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::E_EncryptFile(file.c_str(), error)) << Text(error);
    std::string enciphered = Bytes(file);
    EXPECT_EQ(enciphered.size(), plain.size() + 32);
    EXPECT_EQ(enciphered.substr(0, 32), Fingerprint());
    EXPECT_FALSE(std::filesystem::exists(Path("Users.new")));

    EXPECT_TRUE(Tovanix::E_EncryptFile(file.c_str(), error));  // already enciphered: left alone
    EXPECT_EQ(Bytes(file), enciphered);

    ASSERT_TRUE(Tovanix::E_DecryptFile(file.c_str(), error)) << Text(error);
    EXPECT_EQ(Bytes(file), plain);
    EXPECT_TRUE(Tovanix::E_DecryptFile(file.c_str(), error));  // already plain: left alone
    EXPECT_EQ(Bytes(file), plain);
}

TEST_F(EncryptedProfileTest, FileOfAnotherKeyIsNeverTouched) {
    LoadKey(1);
    const std::string file = EncipheredFile("Vellora.ini", "[S]\r\nk=1\r\n");
    const std::string enciphered = Bytes(file);
    Tovanix::String error;

    LoadKey(2);
    Tovanix::E_MarkFileEncrypted("Vellora.ini");
    const std::string message = "encrypted file not compatible with rand.bin: " + file;
    EXPECT_FALSE(Tovanix::E_EncryptFile(file.c_str(), error));
    EXPECT_EQ(Text(error), "Tovanix::E_IsFileEncrypted() : " + message);
    EXPECT_FALSE(Tovanix::E_DecryptFile(file.c_str(), error));
    std::string value;
    EXPECT_FALSE(Get(file, "S", "k", "", value));
    EXPECT_FALSE(Tovanix::E_WritePrivateProfileString("S", "k", "2", file.c_str()));
    EXPECT_FALSE(Tovanix::E_RemoveRedundantSections(file.c_str()));
    EXPECT_EQ(Bytes(file), enciphered);
    EXPECT_NE(Log().find("Tovanix::read_profile_file_to_memory() : " + message), std::string::npos);
}

TEST_F(EncryptedProfileTest, StoreKeepsRegisteredFilesEnciphered) {
    LoadKey();
    ASSERT_TRUE(Tovanix::E_MarkFileEncrypted("Users.ini"));
    const std::string file = Path("Users.ini");
    const std::string windowsPath = m_dir + "\\Users.ini";
    for (int i = 0; i < 3; ++i) {
        const std::string key = "User" + std::to_string(i);
        ASSERT_TRUE(Tovanix::E_WritePrivateProfileString("Users", key.c_str(), "pw", windowsPath.c_str()));
        const std::string bytes = Bytes(file);
        ASSERT_EQ(bytes.substr(0, 32), Fingerprint()) << "write " << i;
        EXPECT_EQ(bytes.find("User"), std::string::npos);
    }
    EXPECT_EQ(Value(file, "Users", "User2"), "pw");

    std::string plain = Bytes(file);
    Tovanix::String error;
    ASSERT_TRUE(Tovanix::decrypt(plain, error));
    EXPECT_EQ(plain, "[Users]\r\nUser0=pw\r\nUser1=pw\r\nUser2=pw\r\n");

    ASSERT_TRUE(Tovanix::E_ReplaceSection("Extra", {Tovanix::String("a=1")}, file.c_str()));
    EXPECT_EQ(Bytes(file).substr(0, 32), Fingerprint());
    std::vector<Tovanix::String> lines;
    EXPECT_TRUE(Tovanix::E_ReadSection("Extra", lines, file.c_str()));
    EXPECT_EQ(profiletest::Texts(lines), std::vector<std::string>{"a=1"});

    // Registration compares the name with case.
    const std::string lower = Path("Other/users.ini");
    std::filesystem::create_directories(Path("Other"));
    ASSERT_TRUE(Tovanix::E_WritePrivateProfileString("Users", "x", "1", lower.c_str()));
    EXPECT_EQ(Bytes(lower), "[Users]\r\nx=1\r\n");
}

TEST_F(EncryptedProfileTest, UnregisteredEncipheredFileIsRewrittenPlain) {
    LoadKey();
    const std::string file = EncipheredFile("Vellora.ini", "[S]\r\nk=1\r\n");
    EXPECT_EQ(Value(file, "S", "k"), "1");
    ASSERT_TRUE(Tovanix::E_WritePrivateProfileString("S", "k", "2", file.c_str()));
    EXPECT_EQ(Bytes(file), "[S]\r\nk=2\r\n");
}

TEST_F(EncryptedProfileTest, EncipheredFileCannotBeReadWithoutKey) {
    LoadKey();
    const std::string file = EncipheredFile("Vellora.ini", "[S]\r\nk=1\r\n");
    const std::string enciphered = Bytes(file);

    Tovanix::g_RandomFileData.clear();
    Tovanix::g_RandomFileFingerprint.clear();
    std::string value;
    EXPECT_FALSE(Get(file, "S", "k", "default", value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(Tovanix::E_WritePrivateProfileString("S", "k", "2", file.c_str()));
    EXPECT_EQ(Bytes(file), enciphered);
    EXPECT_NE(Log().find("Tovanix::decrypt() : internal error #1."), std::string::npos);

    // A registered file cannot be written without the key either.
    Tovanix::E_MarkFileEncrypted("New.ini");
    EXPECT_FALSE(Tovanix::E_WritePrivateProfileString("S", "k", "1", Path("New.ini").c_str()));
    EXPECT_FALSE(std::filesystem::exists(Path("New.ini")));
}

TEST_F(EncryptedProfileTest, RegistrationUsesNameAndExtension) {
    Tovanix::E_MarkFileEncrypted("Users.ini");
    EXPECT_TRUE(Tovanix::IsFileToBeEncrypted("C:\\Users\\Public\\Documents\\Vellora\\Users.ini"));
    EXPECT_TRUE(Tovanix::IsFileToBeEncrypted("/data/Users.ini"));
    EXPECT_TRUE(Tovanix::IsFileToBeEncrypted("Users.ini"));
    EXPECT_FALSE(Tovanix::IsFileToBeEncrypted("/data/users.ini"));
    EXPECT_FALSE(Tovanix::IsFileToBeEncrypted("/data/Users.ini.bak"));

    // Removing the name is exact as well.
    Tovanix::E_UnmarkFileEncrypted("users.ini");
    EXPECT_TRUE(Tovanix::IsFileToBeEncrypted("/data/Users.ini"));
    Tovanix::E_UnmarkFileEncrypted("Users.ini");
    EXPECT_FALSE(Tovanix::IsFileToBeEncrypted("/data/Users.ini"));
}

}  // namespace

namespace {

// Any plain file whose first 32 bytes hold a byte of 128 or more reads as
// enciphered; a write must not turn a readable file into such a file.
TEST_F(ProfileTest, PlainTextThatWouldLookEncipheredIsRefused) {
    const std::string file = Path("Short.ini");
    Put(file, "[S]\r\nu=\xB5m\r\n");  // 11 bytes: too short to count as enciphered
    EXPECT_EQ(Value(file, "S", "u"), "\xB5m");
    EXPECT_FALSE(Tovanix::E_WritePrivateProfileString("S", "Longer", "value that pushes it past 32", file.c_str()));
    EXPECT_EQ(Bytes(file), "[S]\r\nu=\xB5m\r\n");
    EXPECT_NE(Log().find("Tovanix::E_WritePrivateProfileString() : text would be taken for an encrypted file: " + file),
              std::string::npos);

    // A file that starts with a byte-order mark cannot be read without a
    // matching key file.
    Put(file, "\xEF\xBB\xBF[Main]\r\nGain=5\r\nOffset=1234567890123\r\n");
    std::string value;
    EXPECT_FALSE(Get(file, "Main", "Gain", "d", value));
    EXPECT_EQ(value, "");
}

}  // namespace
