#pragma once
// The account API of the local server (the endpoint table of the client, with the same body
// scrambling), the QR login page, the avatar pictures, the terms page and the test-only
// endpoints under /test/.
namespace httplib {
class Server;
}
class ServerState;

void registerAccountRoutes(httplib::Server& server, ServerState& state);
