#pragma once
// The update side of the local server: the version manifest "/RorodIdavVersion.json", the
// installer package it names under "/packages/", and the test endpoints that choose what
// they offer and how the package is delivered:
//
//   POST /test/update?version=3.0.4&force=3.0.3,3.0.1&popup=1&notes=...
//                    &md5=right|wrong|upper&delivery=normal|breakoff|nolength|slow|missing
//                    &size=BYTES&slowMs=MS&packageBase=https://host:port
//     sets the offer; omitted parameters take their defaults (version 3.0.4, no forced
//     versions, popup 1, md5 right, delivery normal, 1 MiB, 100 ms between slow pieces, the
//     package on this server).
//   GET  /test/updateStats   {"manifestRequests": n, "packageRequests": n}
//
// The package is a shell script that installs nothing: started, it writes the file
// "installer-ran.txt" beside itself; it is padded with comment lines to the size asked for.
namespace httplib {
class Server;
}

void registerUpdateRoutes(httplib::Server& server);
