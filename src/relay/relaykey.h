#pragma once

#include "relayframe.h"

#include <array>
#include <cstdint>
#include <string>

// The relay's key: 128 random bits, kept as 32 hexadecimal digits on one line
// of a file only its user may read. The relay creates the file when it is
// missing; a client presents the key in its first frame.
class RelayKey {
public:
    using Bytes = std::array<std::uint8_t, relayframe::kKeyBytes>;

    RelayKey() = default;
    explicit RelayKey(const Bytes& bytes) : m_bytes(bytes) {}

    const Bytes& bytes() const { return m_bytes; }
    std::string toHex() const;
    // 32 hexadecimal digits, either case, blanks around them allowed.
    static bool fromHex(const std::string& text, RelayKey& key);
    // Compares in time that does not depend on where the keys differ.
    bool matches(const std::uint8_t* presented) const;

    // Reads the key file; false with the reason (naming the file) when it is
    // missing, unreadable or malformed.
    static bool load(const std::string& path, RelayKey& key, std::string& error);
    // The relay's key: loads the file (refused on POSIX when others may read
    // it or is not its user's), or creates it with a new random key (and its folder) when it does
    // not exist; created says which.
    static bool loadOrCreate(const std::string& path, RelayKey& key, bool& created, std::string& error);
    // Replaces the file whole (and makes its folder) with this key, readable
    // only by its user on POSIX; false with the reason, naming the file.
    bool save(const std::string& path, std::string& error) const;

private:
    static bool readKey(const std::string& path, bool mustBePrivate, RelayKey& key, std::string& error);

    Bytes m_bytes{};
};

// $XDG_CONFIG_HOME/Quillon/relay.key (else ~/.config/Quillon/relay.key) on
// Linux, %APPDATA%\Quillon\relay.key on Windows; empty when neither is known.
std::string defaultRelayKeyPath();
