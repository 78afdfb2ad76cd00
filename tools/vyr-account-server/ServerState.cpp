#include "ServerState.h"

namespace {

const char* const kDigits = "0123456789";
const char* const kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::map<std::string, AccountUser> presetUsers()
{
    return {
        {"U20260001PHONE", {"U20260001PHONE", "oWx-phone-user-0001", "13800138000", "小林", "lin", "", true}},
        {"U20260002WECHAT", {"U20260002WECHAT", "oWx-wechat-user-0002", "", "微信用户", "wechat", "", true}},
    };
}

} // namespace

ServerState::ServerState(ServerOptions options)
    : m_options(std::move(options))
    , m_users(presetUsers())
    , m_random(std::random_device{}())
{
}

void ServerState::setBaseUrl(const std::string& url)
{
    std::lock_guard lock(m_mutex);
    m_baseUrl = url;
}

std::string ServerState::baseUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_baseUrl;
}

void ServerState::reset()
{
    std::lock_guard lock(m_mutex);
    m_users = presetUsers();
    m_tokens.clear();
    m_smsCodes.clear();
    m_tickets.clear();
    m_latestTicket.clear();
    m_weChatCodes.clear();
    m_fault = Fault::None;
    m_faultPath.clear();
    m_faultCount = 0;
    m_requests.clear();
    m_avatarDownloads = 0;
}

std::optional<AccountUser> ServerState::userById(const std::string& userId) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_users.find(userId);
    if (it == m_users.end())
        return std::nullopt;
    return it->second;
}

std::optional<AccountUser> ServerState::userByPhone(const std::string& phone) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& [id, user] : m_users)
        if (user.phone == phone)
            return user;
    return std::nullopt;
}

std::optional<AccountUser> ServerState::takeWeChatCode(const std::string& code)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_weChatCodes.find(code);
    if (it == m_weChatCodes.end())
        return std::nullopt;
    const std::string userId = it->second;
    m_weChatCodes.erase(it);
    return m_users.at(userId);
}

AccountUser ServerState::addPhoneUser(const std::string& phone)
{
    std::lock_guard lock(m_mutex);
    AccountUser user{"U" + randomText(12, kDigits), "", phone, "", "", "", false};
    m_users[user.userId] = user;
    return user;
}

bool ServerState::bindPhone(const std::string& userId, const std::string& openId, const std::string& phone)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_users.find(userId);
    if (it == m_users.end() || it->second.openId != openId)
        return false;
    it->second.phone = phone;
    return true;
}

std::string ServerState::issueToken(const std::string& userId)
{
    std::lock_guard lock(m_mutex);
    const std::string token = randomText(40, kLetters);
    m_tokens[token] = {userId, std::chrono::steady_clock::now() + std::chrono::seconds(m_options.tokenLifetimeSeconds)};
    return token;
}

std::optional<AccountUser> ServerState::userOfToken(const std::string& token) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_tokens.find(token);
    if (it == m_tokens.end() || it->second.expiry <= std::chrono::steady_clock::now())
        return std::nullopt;
    const auto user = m_users.find(it->second.userId);
    if (user == m_users.end())
        return std::nullopt;
    return user->second;
}

bool ServerState::dropToken(const std::string& token)
{
    std::lock_guard lock(m_mutex);
    return m_tokens.erase(token) > 0;
}

void ServerState::expireAllTokens()
{
    std::lock_guard lock(m_mutex);
    for (auto& [token, entry] : m_tokens)
        entry.expiry = std::chrono::steady_clock::now();
}

std::string ServerState::issueSmsCode(const std::string& phone)
{
    std::lock_guard lock(m_mutex);
    const std::string code = randomText(6, kDigits);
    m_smsCodes[phone] = code;
    return code;
}

std::optional<std::string> ServerState::smsCode(const std::string& phone) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_smsCodes.find(phone);
    if (it == m_smsCodes.end())
        return std::nullopt;
    return it->second;
}

bool ServerState::takeSmsCode(const std::string& phone, const std::string& code)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_smsCodes.find(phone);
    if (it == m_smsCodes.end() || it->second != code)
        return false;
    m_smsCodes.erase(it);
    return true;
}

std::string ServerState::openTicket(std::string& state)
{
    std::lock_guard lock(m_mutex);
    const std::string ticket = randomText(16, kLetters);
    state = randomText(8, kLetters);
    m_tickets[ticket] = Ticket{};
    m_latestTicket = ticket;
    return ticket;
}

bool ServerState::confirmTicket(const std::string& ticket)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_tickets.find(ticket.empty() ? m_latestTicket : ticket);
    if (it == m_tickets.end())
        return false;
    // A ticket is confirmed once it has its code.
    if (it->second.code.empty()) {
        it->second.code = randomText(32, kLetters);
        m_weChatCodes[it->second.code] = "U20260002WECHAT";
    }
    return true;
}

std::string ServerState::ticketCode(const std::string& ticket) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_tickets.find(ticket);
    return it == m_tickets.end() ? std::string() : it->second.code;
}

void ServerState::setFault(Fault fault, const std::string& path, int count)
{
    std::lock_guard lock(m_mutex);
    m_fault = fault;
    m_faultPath = path;
    m_faultCount = count;
}

Fault ServerState::takeFault(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    if (m_fault == Fault::None || (!m_faultPath.empty() && m_faultPath != path))
        return Fault::None;
    const Fault fault = m_fault;
    if (m_faultCount > 0 && --m_faultCount == 0)
        m_fault = Fault::None;
    return fault;
}

void ServerState::record(const std::string& path, RecordedRequest request)
{
    std::lock_guard lock(m_mutex);
    m_requests[path] = std::move(request);
}

std::optional<RecordedRequest> ServerState::lastRequest(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_requests.find(path);
    if (it == m_requests.end())
        return std::nullopt;
    return it->second;
}

void ServerState::countAvatarDownload()
{
    std::lock_guard lock(m_mutex);
    ++m_avatarDownloads;
}

int ServerState::avatarDownloads() const
{
    std::lock_guard lock(m_mutex);
    return m_avatarDownloads;
}

// Called with the lock held.
std::string ServerState::randomText(int length, const char* alphabet)
{
    const std::string chars(alphabet);
    std::uniform_int_distribution<size_t> pick(0, chars.size() - 1);
    std::string text;
    for (int i = 0; i < length; ++i)
        text += chars[pick(m_random)];
    return text;
}
