// vyr-account-server: a local HTTPS account server for trying the sign-in on one machine and
// for the tests. Listens on 127.0.0.1 only.
//
//   vyr-account-server [--port N] [--cert FILE --key FILE] [--work-dir DIR]
//                      [--token-lifetime SECONDS] [--slow-ms MS] [--hang-seconds S]
//
// Without --cert/--key it makes a self-signed certificate for 127.0.0.1 and localhost with
// openssl in the work folder (cert.pem, key.pem). With --port 0 (the default) it takes any
// free port. Once listening it prints "listening on https://127.0.0.1:<port>" and
// "certificate <path>" on standard output.
#include "AccountRoutes.h"
#include "ServerState.h"
#include "UpdateRoutes.h"

#include <httplib.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

int usage(const std::string& problem)
{
    std::cerr << "vyr-account-server : " << problem << "\n"
              << "usage: vyr-account-server [--port N] [--cert FILE --key FILE] [--work-dir DIR]"
                 " [--token-lifetime SECONDS] [--slow-ms MS] [--hang-seconds S]\n";
    return 2;
}

bool parseOptions(int argc, char* argv[], ServerOptions& options, std::string& problem)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc) {
            problem = "missing value for " + name;
            return false;
        }
        const std::string value = argv[++i];
        try {
            if (name == "--port")
                options.port = std::stoi(value);
            else if (name == "--cert")
                options.certFile = value;
            else if (name == "--key")
                options.keyFile = value;
            else if (name == "--work-dir")
                options.workDir = value;
            else if (name == "--token-lifetime")
                options.tokenLifetimeSeconds = std::stoi(value);
            else if (name == "--slow-ms")
                options.slowReplyMs = std::stoi(value);
            else if (name == "--hang-seconds")
                options.hangSeconds = std::stoi(value);
            else {
                problem = "unknown option " + name;
                return false;
            }
        } catch (const std::exception&) {
            problem = "not a number: " + value;
            return false;
        }
    }
    if (options.certFile.empty() != options.keyFile.empty()) {
        problem = "--cert and --key go together";
        return false;
    }
    return true;
}

bool makeCertificate(ServerOptions& options)
{
    std::filesystem::create_directories(options.workDir);
    options.certFile = options.workDir + "/cert.pem";
    options.keyFile = options.workDir + "/key.pem";
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=127.0.0.1"
                                " -addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout '"
        + options.keyFile + "' -out '" + options.certFile + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    ServerOptions options;
    std::string problem;
    if (!parseOptions(argc, argv, options, problem))
        return usage(problem);
    if (options.certFile.empty() && !makeCertificate(options))
        return usage("openssl could not make a certificate in " + options.workDir);

    httplib::SSLServer server(options.certFile.c_str(), options.keyFile.c_str());
    if (!server.is_valid())
        return usage("cannot load the certificate " + options.certFile);
    ServerState state(options);
    registerAccountRoutes(server, state);
    registerUpdateRoutes(server);

    const int port = options.port == 0 ? server.bind_to_any_port(options.host) : options.port;
    if (port <= 0 || (options.port != 0 && !server.bind_to_port(options.host, port)))
        return usage("cannot listen on " + options.host + ":" + std::to_string(options.port));
    state.setBaseUrl("https://" + options.host + ":" + std::to_string(port));
    std::cout << "listening on " << state.baseUrl() << "\ncertificate "
              << std::filesystem::absolute(options.certFile).string() << std::endl;
    return server.listen_after_bind() ? 0 : 1;
}
