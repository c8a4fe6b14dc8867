#include "relaykey.h"

#include "relaysocket.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Writes the key's line to a new file that only its user can read, then puts
// it in place of any file at path, so that no reader ever sees half a key.
bool writeKeyFile(const std::string& path, const std::string& line, std::string& error)
{
    const std::string temporary = path + ".new";
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored); // left by a write that was cut short
    if (!relaysocket::writePrivateFile(temporary, line, error))
        return false;
    std::error_code renameError;
    std::filesystem::rename(temporary, path, renameError);
    if (renameError) {
        error = "cannot replace the key file " + path + ": " + renameError.message();
        std::filesystem::remove(temporary, renameError);
        return false;
    }
    return true;
}

} // namespace

std::string RelayKey::toHex() const
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : m_bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

bool RelayKey::fromHex(const std::string& text, RelayKey& key)
{
    const std::string digits = trimmed(text);
    if (digits.size() != 2 * relayframe::kKeyBytes)
        return false;
    Bytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = hexValue(digits[2 * i]), low = hexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    key = RelayKey(bytes);
    return true;
}

bool RelayKey::matches(const std::uint8_t* presented) const
{
    volatile std::uint8_t difference = 0;
    for (std::size_t i = 0; i < m_bytes.size(); ++i)
        difference = difference | static_cast<std::uint8_t>(m_bytes[i] ^ presented[i]);
    return difference == 0;
}

bool RelayKey::load(const std::string& path, RelayKey& key, std::string& error)
{
    return readKey(path, false, key, error);
}

// Opens the file itself, never a link, and checks what was opened, so that the
// file checked is the file read.
bool RelayKey::readKey(const std::string& path, bool mustBePrivate, RelayKey& key, std::string& error)
{
    std::string text;
#ifdef _WIN32
    (void)mustBePrivate; // the user's application-data folder is private to the user
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the key file " + path;
        return false;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "cannot read the key file " + path + (fd < 0 ? std::string(": ") + std::strerror(errno) : "");
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    if (mustBePrivate && (status.st_uid != ::geteuid() || (status.st_mode & 077) != 0)) {
        ::close(fd);
        error = "the key file " + path + " may be read by other users; make it private (chmod 600 " + path + ")";
        return false;
    }
    char buffer[256];
    for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 4096;)
        text.append(buffer, static_cast<std::size_t>(count));
    ::close(fd);
#endif
    if (!fromHex(text, key)) {
        error = "the key file " + path + " does not hold a key (32 hexadecimal digits)";
        return false;
    }
    return true;
}

bool RelayKey::loadOrCreate(const std::string& path, RelayKey& key, bool& created, std::string& error)
{
    std::error_code ignored;
    created = !std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
    if (!created)
        return readKey(path, true, key, error); // the relay's own key must be its user's secret
    Bytes bytes{};
    if (!relaysocket::randomBytes(bytes.data(), bytes.size())) {
        error = "no random numbers for a new key";
        return false;
    }
    key = RelayKey(bytes);
    return key.save(path, error);
}

bool RelayKey::save(const std::string& path, std::string& error) const
{
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ignored);
    return writeKeyFile(path, toHex() + "\n", error);
}

std::string defaultRelayKeyPath()
{
    namespace fs = std::filesystem;
#ifdef _WIN32
    const char* appData = std::getenv("APPDATA");
    if (appData == nullptr || *appData == '\0')
        return {};
    return (fs::path(appData) / "Quillon" / "relay.key").string();
#else
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config != '\0')
        return (fs::path(config) / "Quillon" / "relay.key").string();
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return {};
    return (fs::path(home) / ".config" / "Quillon" / "relay.key").string();
#endif
}
