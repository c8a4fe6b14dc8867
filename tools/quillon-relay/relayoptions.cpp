#include "relayoptions.h"

#include "relaykey.h"

bool parseRelayOptions(const std::vector<std::string>& args, RelayOptions& options, std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--read-write") {
            options.readWrite = true;
            continue;
        }
        if (name != "--listen" && name != "--allow" && name != "--key-file") {
            error = "unknown option: " + name;
            return false;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = "missing value for " + name;
            return false;
        }
        const std::string& value = args[++i];
        if (name == "--listen" && !parseEndpoint(value, options.listen, error))
            return false;
        if (name == "--allow" && !AllowRule::parse(value, options.allow.emplace_back(), error))
            return false;
        if (name == "--key-file")
            options.keyFile = value;
    }
    if (options.keyFile.empty())
        options.keyFile = defaultRelayKeyPath();
    if (options.keyFile.empty()) {
        error = "no place for the key file is known (no home folder): give one with --key-file";
        return false;
    }
    return true;
}

bool checkListenAllowed(const relaysocket::Address& listenAddress, const RelayOptions& options, std::string& error)
{
    if (isLoopback(listenAddress) || !options.allow.empty())
        return true;
    error = "listening on " + relaysocket::addressText(listenAddress) +
            " would open the relay to other machines: name the clients allowed in with --allow ADDR[/BITS]";
    return false;
}
