#pragma once
// The local account server's options and everything it remembers while it runs: users,
// tokens, SMS codes, QR login tickets, the fault switch and what tests ask to inspect.
// Route handlers run on the server's worker threads; every member function takes the lock.
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>

struct ServerOptions
{
    std::string host = "127.0.0.1";
    int port = 0;                 // 0: any free port, printed at start
    std::string certFile;         // empty: made with openssl in workDir at start
    std::string keyFile;
    std::string workDir = ".";
    int tokenLifetimeSeconds = 86400;
    int slowReplyMs = 3000;
    int hangSeconds = 120;
};

struct AccountUser
{
    std::string userId;
    std::string openId;
    std::string phone;
    std::string nickName;
    std::string userName;
    std::string devId;
    bool hasAvatar = true;
};

// What a fault switch does to the replies of the API paths it covers.
enum class Fault { None, Garbled, NonJson, NoCode, CodeOne, Http500, Hang, Slow };

struct RecordedRequest
{
    std::string body;
    std::optional<std::string> token;
};

class ServerState
{
public:
    explicit ServerState(ServerOptions options);

    const ServerOptions& options() const { return m_options; }
    // https://host:port, known once the socket is bound.
    void setBaseUrl(const std::string& url);
    std::string baseUrl() const;

    // Restores the preset users and forgets tokens, codes, tickets, faults and counters.
    void reset();

    std::optional<AccountUser> userById(const std::string& userId) const;
    std::optional<AccountUser> userByPhone(const std::string& phone) const;
    // The WeChat account behind an OAuth code (once; the code is used up).
    std::optional<AccountUser> takeWeChatCode(const std::string& code);
    AccountUser addPhoneUser(const std::string& phone);
    bool bindPhone(const std::string& userId, const std::string& openId, const std::string& phone);

    std::string issueToken(const std::string& userId);
    // The user of a known, unexpired token.
    std::optional<AccountUser> userOfToken(const std::string& token) const;
    bool dropToken(const std::string& token);
    void expireAllTokens();

    std::string issueSmsCode(const std::string& phone);
    std::optional<std::string> smsCode(const std::string& phone) const;
    // True (and the code used up) when code is the one sent to phone.
    bool takeSmsCode(const std::string& phone, const std::string& code);

    // A new QR login ticket with its state; returns the ticket.
    std::string openTicket(std::string& state);
    // Confirms the ticket (the latest one when empty); false when there is none.
    bool confirmTicket(const std::string& ticket);
    // The OAuth code of a confirmed ticket, empty while it waits.
    std::string ticketCode(const std::string& ticket) const;

    void setFault(Fault fault, const std::string& path, int count);
    // The fault for a reply on path, counting it down.
    Fault takeFault(const std::string& path);

    void record(const std::string& path, RecordedRequest request);
    std::optional<RecordedRequest> lastRequest(const std::string& path) const;
    void countAvatarDownload();
    int avatarDownloads() const;

private:
    struct Ticket
    {
        std::string code;
    };
    struct Token
    {
        std::string userId;
        std::chrono::steady_clock::time_point expiry;
    };

    std::string randomText(int length, const char* alphabet);

    const ServerOptions m_options;
    mutable std::mutex m_mutex;
    std::string m_baseUrl;
    std::map<std::string, AccountUser> m_users;
    std::map<std::string, Token> m_tokens;
    std::map<std::string, std::string> m_smsCodes;
    std::map<std::string, Ticket> m_tickets;
    std::string m_latestTicket;
    std::map<std::string, std::string> m_weChatCodes;
    Fault m_fault = Fault::None;
    std::string m_faultPath;
    int m_faultCount = 0;
    std::map<std::string, RecordedRequest> m_requests;
    int m_avatarDownloads = 0;
    std::mt19937_64 m_random;
};
