#include "UpdateRoutes.h"

#include <httplib.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

const char* const jsonType = "application/json";
const char* const packageType = "application/octet-stream";

enum class Delivery { Normal, BreakOff, NoLength, Slow, Missing };
enum class DigestMode { Right, Wrong, Upper };

struct Offer
{
    std::string version = "3.0.4";
    std::string notes = "1. 导出速度更快\n2. 修复了已知问题";
    QStringList forced;
    bool popup = true;
    DigestMode digest = DigestMode::Right;
    Delivery delivery = Delivery::Normal;
    size_t size = 1 << 20;
    int slowMs = 100;
    std::string packageBase;  // empty: this server
};

// The package: a script that only leaves a note beside itself, padded after its end.
std::string packageBytes(size_t size)
{
    std::string script = "#!/bin/sh\n"
                         "# Test package of the local update server: it installs nothing.\n"
                         "date > \"$(dirname \"$0\")/installer-ran.txt\"\n"
                         "exit 0\n";
    const std::string padding(63, '#');
    while (script.size() + padding.size() + 1 <= size)
        script += padding + "\n";
    return script;
}

class UpdateOffer
{
public:
    void set(Offer value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        offer = std::move(value);
        package = packageBytes(offer.size);
    }
    Offer current() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return offer;
    }
    std::string packageContent() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return package;
    }
    void countManifest() { ++manifestRequests; }
    void countPackage() { ++packageRequests; }
    QJsonObject stats() const
    {
        return {{"manifestRequests", manifestRequests.load()}, {"packageRequests", packageRequests.load()}};
    }

private:
    mutable std::mutex mutex;
    Offer offer;
    std::string package = packageBytes(Offer().size);
    std::atomic<int> manifestRequests{0};
    std::atomic<int> packageRequests{0};
};

std::string digestText(const std::string& package, DigestMode mode)
{
    const QByteArray bytes = mode == DigestMode::Wrong ? QByteArray("not the package") : QByteArray::fromStdString(package);
    const QByteArray hex = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
    return (mode == DigestMode::Upper ? hex.toUpper() : hex).toStdString();
}

std::string manifest(const Offer& offer, const std::string& package, const std::string& baseUrl)
{
    const QString version = QString::fromStdString(offer.version);
    const std::string packageBase = offer.packageBase.empty() ? baseUrl : offer.packageBase;
    const QJsonObject x64{{"url", QString::fromStdString(packageBase) + "/packages/" + version + ".run"},
                          {"md5", QString::fromStdString(digestText(package, offer.digest))}};
    const QJsonObject object{{"version", version},
                             {"vesioninfo", QJsonObject{{"cn", QString::fromStdString(offer.notes)}}},
                             {"apk", QJsonObject{{"x64", x64}}},
                             {"popupWindow", offer.popup},
                             {"forceUpdate", QJsonArray::fromStringList(offer.forced)}};
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

// Hands out the package in pieces; the break-off stops halfway and drops the connection.
httplib::ContentProvider piecewise(std::shared_ptr<const std::string> package, Delivery delivery, int pauseMs)
{
    return [package, delivery, pauseMs](size_t offset, size_t, httplib::DataSink& sink) {
        constexpr size_t piece = 64 * 1024;
        if (delivery == Delivery::BreakOff && offset >= package->size() / 2)
            return false;
        if (delivery == Delivery::Slow)
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        const size_t length = std::min(piece, package->size() - offset);
        return sink.write(package->data() + offset, length);
    };
}

void deliver(const Offer& offer, std::string packageContent, httplib::Response& res)
{
    auto package = std::make_shared<const std::string>(std::move(packageContent));
    switch (offer.delivery) {
    case Delivery::Missing:
        res.status = 404;
        return;
    case Delivery::Normal:
        res.set_content(*package, packageType);
        return;
    case Delivery::NoLength:
        // In short-spaced pieces, so that the client sees the bytes grow without a total.
        res.set_chunked_content_provider(packageType, [package](size_t offset, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const size_t length = std::min<size_t>(64 * 1024, package->size() - offset);
            if (length == 0)
                sink.done();
            return length == 0 || sink.write(package->data() + offset, length);
        });
        return;
    case Delivery::BreakOff:
    case Delivery::Slow:
        res.set_content_provider(package->size(), packageType, piecewise(package, offer.delivery, offer.slowMs));
        return;
    }
}

Offer offerFrom(const httplib::Request& req)
{
    Offer offer;
    const auto param = [&req](const char* name, const std::string& fallback) {
        return req.has_param(name) ? req.get_param_value(name) : fallback;
    };
    offer.version = param("version", offer.version);
    offer.notes = param("notes", offer.notes);
    const QString forced = QString::fromStdString(param("force", ""));
    offer.forced = forced.isEmpty() ? QStringList() : forced.split(',');
    offer.popup = param("popup", "1") == "1";
    const std::string digest = param("md5", "right");
    offer.digest = digest == "upper" ? DigestMode::Upper : digest == "wrong" ? DigestMode::Wrong : DigestMode::Right;
    const std::string delivery = param("delivery", "normal");
    offer.delivery = delivery == "breakoff" ? Delivery::BreakOff
        : delivery == "nolength"            ? Delivery::NoLength
        : delivery == "slow"                ? Delivery::Slow
        : delivery == "missing"             ? Delivery::Missing
                                            : Delivery::Normal;
    offer.size = std::stoul(param("size", std::to_string(offer.size)));
    offer.slowMs = std::stoi(param("slowMs", std::to_string(offer.slowMs)));
    offer.packageBase = param("packageBase", "");
    return offer;
}

std::string baseUrlOf(const httplib::Request& req)
{
    return "https://" + req.get_header_value("Host");
}

} // namespace

void registerUpdateRoutes(httplib::Server& server)
{
    auto offers = std::make_shared<UpdateOffer>();
    server.Get("/RorodIdavVersion.json", [offers](const httplib::Request& req, httplib::Response& res) {
        offers->countManifest();
        res.set_content(manifest(offers->current(), offers->packageContent(), baseUrlOf(req)), jsonType);
    });
    server.Get(R"(/packages/([^/]+))", [offers](const httplib::Request&, httplib::Response& res) {
        offers->countPackage();
        deliver(offers->current(), offers->packageContent(), res);
    });
    server.Post("/test/update", [offers](const httplib::Request& req, httplib::Response& res) {
        try {
            offers->set(offerFrom(req));
            res.set_content("{}", jsonType);
        } catch (const std::exception&) {
            res.status = 400;
        }
    });
    server.Get("/test/updateStats", [offers](const httplib::Request&, httplib::Response& res) {
        res.set_content(QJsonDocument(offers->stats()).toJson(QJsonDocument::Compact).toStdString(), jsonType);
    });
}
