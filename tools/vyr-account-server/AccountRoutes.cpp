#include "AccountRoutes.h"

#include "ServerState.h"
#include "account/Scrambling.h"

#include <httplib.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <iostream>
#include <thread>

namespace {

const char* const kJsonType = "application/json";
const char* const kHtmlType = "text/html; charset=utf-8";

struct ApiReply
{
    int status = 200;
    QJsonObject envelope;
};

using AnonymousHandler = std::function<ApiReply(const QJsonObject& params)>;
using AuthenticatedHandler = std::function<ApiReply(const QJsonObject& params, const AccountUser& user,
                                                    const std::string& token)>;

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string s(const QJsonValue& value)
{
    return value.toString().toStdString();
}

std::string json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

ApiReply success(const QJsonValue& data = QJsonValue::Null)
{
    return {200, {{"code", 0}, {"msg", "success"}, {"data", data}}};
}

// The real server wraps its refusals in the exception text of its runtime.
ApiReply refusal(const QString& message)
{
    return {200, {{"code", 1}, {"msg", "java.lang.RuntimeException:  " + message + "  "}, {"data", QJsonValue::Null}}};
}

void logLine(const std::string& line)
{
    std::cerr << "vyr-account-server : " << line << std::endl;
}

// The body is {"secret": "vyrencode_..."}; anything else reads as no parameters.
QJsonObject parameters(const std::string& body)
{
    const QJsonObject envelope = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    const QString plain = Scrambling::unscramble(envelope.value("secret").toString());
    return QJsonDocument::fromJson(plain.toUtf8()).object();
}

// A fault that breaks the reply leaves the request undone, as a failing server would.
void writeReply(ServerState& state, const std::string& path, const std::function<ApiReply()>& produce,
                httplib::Response& res)
{
    const Fault fault = state.takeFault(path);
    switch (fault) {
    case Fault::Garbled:
        res.set_content(std::string("\x8b\x1f{\"co\xff\xfe", 8), kJsonType);
        return;
    case Fault::NonJson:
        res.set_content("<html><body>502 Bad Gateway</body></html>", kHtmlType);
        return;
    case Fault::Http500:
        res.status = 500;
        res.set_content(R"({"code":500,"msg":"Internal Server Error"})", kJsonType);
        return;
    case Fault::Hang:
        std::this_thread::sleep_for(std::chrono::seconds(state.options().hangSeconds));
        break;
    case Fault::Slow:
        std::this_thread::sleep_for(std::chrono::milliseconds(state.options().slowReplyMs));
        break;
    default:
        break;
    }
    ApiReply reply = produce();
    if (fault == Fault::NoCode)
        reply.envelope.remove("code");
    if (fault == Fault::CodeOne)
        reply.envelope.insert("code", 1);
    res.status = reply.status;
    res.set_content(json(reply.envelope), kJsonType);
}

std::optional<std::string> tokenOf(const httplib::Request& req)
{
    if (!req.has_header("X-SW-Auth-Token"))
        return std::nullopt;
    return req.get_header_value("X-SW-Auth-Token");
}

void anonymous(httplib::Server& server, ServerState& state, const std::string& path, AnonymousHandler handler)
{
    server.Post(path, [&state, path, handler](const httplib::Request& req, httplib::Response& res) {
        state.record(path, {req.body, tokenOf(req)});
        writeReply(state, path, [&] { return handler(parameters(req.body)); }, res);
    });
}

void authenticated(httplib::Server& server, ServerState& state, const std::string& path, AuthenticatedHandler handler)
{
    server.Post(path, [&state, path, handler](const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> token = tokenOf(req);
        state.record(path, {req.body, token});
        writeReply(state, path, [&]() -> ApiReply {
            const std::optional<AccountUser> user = token ? state.userOfToken(*token) : std::nullopt;
            if (!user)
                return {401, {{"code", 401}, {"msg", "token invalid"}}};
            return handler(parameters(req.body), *user, *token);
        }, res);
    });
}

ApiReply loginReply(ServerState& state, const std::optional<AccountUser>& user, const QString& refusalText)
{
    if (!user)
        return refusal(refusalText);
    return success(QJsonObject{{"X-SW-Auth-Token", q(state.issueToken(user->userId))}});
}

ApiReply login(ServerState& state, const QJsonObject& params)
{
    const QString authType = params.value("authType").toString();
    if (authType == "1")
        return loginReply(state, state.takeWeChatCode(s(params.value("code"))), "授权已失效，请重新扫码");
    if (authType == "2") {
        const std::string phone = s(params.value("loginName"));
        if (!state.takeSmsCode(phone, s(params.value("code"))))
            return refusal("验证码错误，   请重新输入");
        const std::optional<AccountUser> user = state.userByPhone(phone);
        return loginReply(state, user ? user : state.addPhoneUser(phone), QString());
    }
    if (authType == "0")
        return loginReply(state, state.userById(s(params.value("loginName"))), "用户不存在");
    return refusal("未知的登录方式");
}

ApiReply sendSmsCode(ServerState& state, const QJsonObject& params)
{
    const std::string phone = s(params.value("loginName"));
    if (phone.size() != 11)
        return refusal("手机号格式错误");
    const std::string code = state.issueSmsCode(phone);
    logLine("sms code for " + phone + " : " + code);
    return success();
}

ApiReply qrCodeUrl(ServerState& state)
{
    std::string loginState;
    const std::string ticket = state.openTicket(loginState);
    const std::string base = state.baseUrl();
    return success(q(base + "/connect/qrconnect?ticket=" + ticket + "&state=" + loginState
                     + "&redirect_uri=" + QUrl::toPercentEncoding(q(base + "/connect/callback")).toStdString()));
}

ApiReply userInfo(ServerState& state, const AccountUser& user)
{
    const QString avatar = user.hasAvatar ? q(state.baseUrl() + "/avatar/" + user.userId + ".png") : QString();
    const QJsonObject info{{"devId", q(user.devId)},         {"openId", q(user.openId)},
                           {"userId", q(user.userId)},       {"nickName", q(user.nickName)},
                           {"userName", q(user.userName)},   {"userPhone", q(user.phone)},
                           {"userHeadAddr", avatar}};
    return success(Scrambling::scramble(QJsonDocument(info).toJson(QJsonDocument::Compact)));
}

ApiReply bindPhone(ServerState& state, const QJsonObject& params, const AccountUser& user)
{
    const std::string phone = s(params.value("phone"));
    if (s(params.value("userId")) != user.userId || !state.takeSmsCode(phone, s(params.value("code"))))
        return refusal("验证码错误");
    if (!state.bindPhone(user.userId, s(params.value("openId")), phone))
        return refusal("账号信息不符");
    return success();
}

std::string avatarPicture()
{
    QImage image(96, 96, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, QColor::fromHsv((x + y) * 180 / 96, 160, 230).rgb());
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// The stand-in for the WeChat QR page: a code-like picture drawn from the ticket, a link that
// confirms the login from a second browser, and a script that polls until the login is
// confirmed and then goes to the callback with code and state, as the real page does.
std::string qrPage(const std::string& ticket, const std::string& loginState, const std::string& redirect)
{
    const std::string page = R"(<!doctype html><html><head><meta charset="utf-8"><title>微信登录</title>
<style>body{margin:0;background:#fff;font:11px sans-serif;text-align:center;color:#333}
canvas{display:block;margin:12px auto 4px}a{color:#07c160}</style></head><body>
<canvas id="qr" width="147" height="147"></canvas>
<a href="/connect/confirm?ticket=@TICKET@" target="_blank">在另一台设备上确认登录</a>
<script>
const ticket = "@TICKET@", state = "@STATE@", redirect = "@REDIRECT@";
const c = document.getElementById("qr").getContext("2d"), n = 21, m = 7;
let h = 2166136261;
for (const ch of ticket) h = Math.imul(h ^ ch.charCodeAt(0), 16777619) >>> 0;
function finder(x, y) { c.fillRect(x*m, y*m, 7*m, 7*m); c.clearRect((x+1)*m, (y+1)*m, 5*m, 5*m);
  c.fillRect((x+2)*m, (y+2)*m, 3*m, 3*m); }
for (let y = 0; y < n; ++y) for (let x = 0; x < n; ++x) {
  h = Math.imul(h ^ (x * 31 + y), 16777619) >>> 0;
  if (h & 8) c.fillRect(x*m, y*m, m, m);
}
c.clearRect(0, 0, 8*m, 8*m); c.clearRect(13*m, 0, 8*m, 8*m); c.clearRect(0, 13*m, 8*m, 8*m);
finder(0, 0); finder(14, 0); finder(0, 14);
setInterval(() => fetch("/connect/status?ticket=" + ticket).then(r => r.json()).then(j => {
  if (j.code) location.href = redirect + "?code=" + encodeURIComponent(j.code) + "&state=" + state;
}).catch(() => {}), 300);
</script></body></html>)";
    QString text = q(page);
    text.replace("@TICKET@", q(ticket)).replace("@STATE@", q(loginState)).replace("@REDIRECT@", q(redirect));
    return text.toStdString();
}

std::string simplePage(const std::string& title, const std::string& body)
{
    return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + title
        + "</title></head><body style=\"font-family:sans-serif\"><h3>" + body + "</h3></body></html>";
}

Fault faultNamed(const std::string& name)
{
    static const std::map<std::string, Fault> faults{
        {"none", Fault::None},      {"garbled", Fault::Garbled}, {"nonjson", Fault::NonJson},
        {"nocode", Fault::NoCode},  {"code1", Fault::CodeOne},   {"500", Fault::Http500},
        {"hang", Fault::Hang},      {"slow", Fault::Slow}};
    const auto it = faults.find(name);
    return it == faults.end() ? Fault::None : it->second;
}

void registerApi(httplib::Server& server, ServerState& state)
{
    anonymous(server, state, "/PCAuth/auth/login", [&state](const QJsonObject& p) { return login(state, p); });
    anonymous(server, state, "/PCAuth/auth/getLoginPhoneNum",
              [&state](const QJsonObject& p) { return sendSmsCode(state, p); });
    anonymous(server, state, "/PCAuth/auth/getQRCodeUrl", [&state](const QJsonObject&) { return qrCodeUrl(state); });
    authenticated(server, state, "/PCMgr/user/getUserInfo",
                  [&state](const QJsonObject&, const AccountUser& user, const std::string&) {
                      return userInfo(state, user);
                  });
    authenticated(server, state, "/PCAuth/auth/loginout",
                  [&state](const QJsonObject&, const AccountUser&, const std::string& token) {
                      state.dropToken(token);
                      return success();
                  });
    authenticated(server, state, "/PCAuth/auth/bindPh",
                  [&state](const QJsonObject& p, const AccountUser& user, const std::string&) {
                      return bindPhone(state, p, user);
                  });
}

void registerPages(httplib::Server& server, ServerState& state)
{
    server.Get("/connect/qrconnect", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(qrPage(req.get_param_value("ticket"), req.get_param_value("state"),
                               req.get_param_value("redirect_uri")),
                        kHtmlType);
    });
    server.Get("/connect/status", [&state](const httplib::Request& req, httplib::Response& res) {
        res.set_content(json({{"code", q(state.ticketCode(req.get_param_value("ticket")))}}), kJsonType);
    });
    server.Get("/connect/confirm", [&state](const httplib::Request& req, httplib::Response& res) {
        const bool confirmed = state.confirmTicket(req.get_param_value("ticket"));
        res.set_content(simplePage("微信登录", confirmed ? "已确认登录" : "二维码已失效"), kHtmlType);
    });
    server.Get("/connect/callback", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(simplePage("微信登录", "登录成功"), kHtmlType);
    });
    server.Get("/protocol", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(simplePage("服务条款", "服务条款（本地测试服务器）"), kHtmlType);
    });
    const std::string picture = avatarPicture();
    server.Get(R"(/avatar/(\w+)\.png)", [&state, picture](const httplib::Request& req, httplib::Response& res) {
        if (!state.userById(req.matches[1])) {
            res.status = 404;
            return;
        }
        state.countAvatarDownload();
        res.set_content(picture, "image/png");
    });
}

void registerTestEndpoints(httplib::Server& server, ServerState& state)
{
    server.Post("/test/reset", [&state](const httplib::Request&, httplib::Response& res) {
        state.reset();
        res.set_content("{}", kJsonType);
    });
    server.Post("/test/fault", [&state](const httplib::Request& req, httplib::Response& res) {
        const int count = req.has_param("count") ? std::stoi(req.get_param_value("count")) : 0;
        state.setFault(faultNamed(req.get_param_value("mode")), req.get_param_value("path"), count);
        res.set_content("{}", kJsonType);
    });
    server.Post("/test/confirm", [&state](const httplib::Request& req, httplib::Response& res) {
        res.set_content(json({{"confirmed", state.confirmTicket(req.get_param_value("ticket"))}}), kJsonType);
    });
    server.Post("/test/expireTokens", [&state](const httplib::Request&, httplib::Response& res) {
        state.expireAllTokens();
        res.set_content("{}", kJsonType);
    });
    server.Get("/test/smsCode", [&state](const httplib::Request& req, httplib::Response& res) {
        const std::optional<std::string> code = state.smsCode(req.get_param_value("phone"));
        res.set_content(json({{"code", code ? q(*code) : QJsonValue()}}), kJsonType);
    });
    server.Get("/test/lastRequest", [&state](const httplib::Request& req, httplib::Response& res) {
        const std::optional<RecordedRequest> request = state.lastRequest(req.get_param_value("path"));
        QJsonObject object;
        if (request) {
            object.insert("body", q(request->body));
            object.insert("token", request->token ? QJsonValue(q(*request->token)) : QJsonValue());
        }
        res.set_content(json(object), kJsonType);
    });
    server.Get("/test/user", [&state](const httplib::Request& req, httplib::Response& res) {
        const std::optional<AccountUser> user = state.userById(req.get_param_value("userId"));
        res.set_content(json({{"userPhone", user ? q(user->phone) : QJsonValue()}}), kJsonType);
    });
    server.Get("/test/stats", [&state](const httplib::Request&, httplib::Response& res) {
        res.set_content(json({{"avatarDownloads", state.avatarDownloads()}}), kJsonType);
    });
}

} // namespace

void registerAccountRoutes(httplib::Server& server, ServerState& state)
{
    registerApi(server, state);
    registerPages(server, state);
    registerTestEndpoints(server, state);
}
