#include "DeviceUri.h"

#include "vrkt7xuri.h"

#include <QList>

namespace DeviceUri
{

namespace
{

    bool isSchemeChar(char c, bool first)
    {
        if (c >= 'a' && c <= 'z')
            return true;
        if (first)
            return false;
        return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    }

} // namespace

bool split(const QByteArray& deviceUri, Inner* inner)
{
    const char* start = vrkt7x_inner_uri(deviceUri.constData());
    if (start == deviceUri.constData())
        return false;
    const QByteArray uri = deviceUri.mid(static_cast<int>(start - deviceUri.constData()));
    if (uri.isEmpty() || uri.size() > kMaxInnerUriBytes)
        return false;
    for (char c : uri) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f)
            return false;
    }
    const int colon = uri.indexOf(':');
    if (colon <= 0)
        return false;
    const QByteArray scheme = uri.left(colon);
    for (int i = 0; i < scheme.size(); ++i) {
        if (!isSchemeChar(scheme.at(i), i == 0))
            return false;
    }
    if (scheme == kScheme || uri.size() == colon + 1)
        return false;
    inner->uri = uri;
    inner->scheme = scheme;
    return true;
}

QByteArray wrap(const QByteArray& innerUri) { return QByteArray(kPrefix) + innerUri; }

QByteArray innerBackendUri(const QByteArray& innerUri, const Resolver& resolve)
{
    QByteArray uri = innerUri;
    Inner inner;
    if (!split(wrap(uri), &inner))
        return innerUri;
    if (inner.scheme == "dnssd") {
        Inner resolved;
        const QByteArray found = resolve ? resolve(uri) : QByteArray();
        if (!split(wrap(found), &resolved)
            || !QList<QByteArray>({ "ipp", "ipps", "http", "https", "socket", "lpd" }).contains(resolved.scheme))
            return innerUri;
        uri = resolved.uri;
        inner = resolved;
    }
    if (!QList<QByteArray>({ "ipp", "ipps", "http", "https" }).contains(inner.scheme))
        return uri;
    const int fragment = uri.indexOf('#');
    const QByteArray tail = fragment >= 0 ? uri.mid(fragment) : QByteArray();
    uri.truncate(fragment >= 0 ? fragment : uri.size());
    const int query = uri.indexOf('?');
    QList<QByteArray> options;
    if (query >= 0) {
        for (const QByteArray& option : uri.mid(query + 1).split('&')) {
            if (!option.isEmpty() && !option.startsWith("waitjob=") && option != "waitjob")
                options << option;
        }
        uri.truncate(query);
    }
    options << "waitjob=false";
    return uri + '?' + options.join('&') + tail;
}

} // namespace DeviceUri
