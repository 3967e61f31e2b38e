#include "UsbFrontend.h"

#include "ClientConnections.h"
#include "UsbDescriptors.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <chrono>
#include <cstring>
#include <errno.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

// GLib's headers use "signals" as a field name; Qt defines it as a keyword.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>
#pragma pop_macro("signals")

namespace fpsim
{

namespace
{

    constexpr int kReapParkMs = 1; // empty non-blocking reaps after the first wait this long
    constexpr int kIdleTickMs = 20; // the scheduler looks at everything at least this often
    constexpr int kClientCheckMs = 100; // vanished clients are looked for this often
    constexpr int kSilentClientMs = 300; // a busy client silent this long may have been killed
    constexpr quint8 UrbControl = USBDEVFS_URB_TYPE_CONTROL;
    constexpr quint8 UrbBulk = USBDEVFS_URB_TYPE_BULK;

    // One submitted URB of a client.
    struct Urb {
        UMockdevIoctlData* urb = nullptr; // the client's struct usbdevfs_urb (resolved)
        UMockdevIoctlData* buf = nullptr; // its buffer (resolved), may be null for length 0
        gulong address = 0; // the URB's address in the client
        quint8 type = 0;
        quint8 endpoint = 0;
        int length = 0;
        qint64 readyAt = -1; // a device ID answered late: when it is due

        void finish(int status, int actual)
        {
            auto* u = reinterpret_cast<usbdevfs_urb*>(urb->data);
            u->status = status;
            u->actual_length = actual;
        }
        void release()
        {
            if (buf)
                g_object_unref(buf);
            g_object_unref(urb);
            buf = urb = nullptr;
        }
    };

    // A client connection (an open device node in some process).
    struct Client {
        UMockdevIoctlClient* client = nullptr;
        QList<Urb> pending; // submitted, not complete
        QList<Urb> done; // complete, not reaped
        bool reapParked = false; // a reap waits for a completed URB
        bool reapBlocking = false; // REAPURB (no deadline)
        qint64 reapDeadline = 0;
        int emptyReaps = 0;
        bool claimed = false;
        bool dead = false;
        int jobId = -1; // the print job this session is sending, if any
        qint64 lastSeen = 0; // time of its last ioctl
        ClientConnection connection; // its socket, when it could be told apart from the others
    };

    // Clients that died without umockdev noticing (killed processes keep their stream "open" in
    // umockdev 0.17): they must not be destroyed by us, so they are kept here for good.
    QList<UMockdevIoctlClient*>& graveyard()
    {
        static auto* clients = new QList<UMockdevIoctlClient*>;
        return *clients;
    }

} // namespace

struct UsbDevice {
    PrinterEngine* engine = nullptr;
    QByteArray serial;
    int index = 0;
    int devnum = 0;
    QByteArray devNode; // /dev/bus/usb/001/NNN
    QByteArray sysPath; // /sys/devices/...
    QByteArray record; // umockdev description, for plugging in again
    QByteArray socketPath; // where umockdev listens for this device's clients
    UMockdevIoctlBase* handler = nullptr;
    bool present = true; // on the bus (sysfs) as far as the testbed goes
    bool driverBound = true;
    int configuration = 1;
    bool inclusiveIdLength = true;
    QList<Client*> clients;
    qint64 lastClientCheck = 0;
    qint64 lastOpenerScan = 0;
};

namespace
{

    QByteArray hex(const QByteArray& bytes)
    {
        return bytes.toHex().toUpper(); // the description format takes upper-case hex only
    }

    gboolean onHandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
    {
        auto* ctx = static_cast<std::pair<UsbFrontend*, int>*>(data);
        return ctx->first->handleIoctl(ctx->second, client) ? TRUE : FALSE;
    }

    void complete(UMockdevIoctlClient* client, long result, int err)
    {
        umockdev_ioctl_client_complete(client, result, err);
    }

    // Everything done under the front-end's lock.
    class Device
    {
    public:
        Device(UsbDevice& d, SimClock& clock)
            : d(d)
            , clock(clock)
        {
        }

        Client* clientFor(UMockdevIoctlClient* c)
        {
            for (Client* cl : std::as_const(d.clients)) {
                if (cl->client == c)
                    return cl;
            }
            auto* cl = new Client;
            cl->client = c;
            QList<ClientConnection> known;
            for (const Client* other : std::as_const(d.clients))
                known.append(other->connection);
            cl->connection = newClientConnection(d.socketPath, known);
            g_object_ref(c);
            d.clients.append(cl);
            return cl;
        }

        // A parked request is only answered to a client that is still there: umockdev 0.17 reports no
        // vanished clients, so look at the connection and probe the request's memory.
        bool clientAlive(Client* cl)
        {
            if (cl->dead || !umockdev_ioctl_client_get_connected(cl->client)) {
                cl->dead = true;
                return false;
            }
            GError* err = nullptr;
            if (!umockdev_ioctl_data_reload(umockdev_ioctl_client_get_arg(cl->client), &err)) {
                g_clear_error(&err);
                cl->dead = true;
                return false;
            }
            return true;
        }

        // A print job lasts from its first byte to the release of the interface (or the close).
        void endJob(Client* cl)
        {
            if (cl->jobId >= 0)
                d.engine->endJob(cl->jobId);
            cl->jobId = -1;
        }

        void dropClient(Client* cl)
        {
            endJob(cl);
            for (Urb& u : cl->pending)
                u.release();
            for (Urb& u : cl->done)
                u.release();
            d.clients.removeOne(cl);
            if (umockdev_ioctl_client_get_connected(cl->client))
                graveyard().append(cl->client);
            else
                g_object_unref(cl->client); // its stream is closed: umockdev lets it go now
            delete cl;
        }

        void dropAllClients()
        {
            for (Client* cl : QList<Client*>(d.clients))
                dropClient(cl);
        }

        // Drops the clients that are gone (never `keep`, the one being answered).
        void dropVanishedClients(bool force, const Client* keep = nullptr)
        {
            const qint64 now = clock.nowMs();
            if (!force && now - d.lastClientCheck < kClientCheckMs)
                return;
            d.lastClientCheck = now;
            findKilledClients(now);
            for (Client* cl : QList<Client*>(d.clients)) {
                if (cl == keep)
                    continue;
                if (cl->dead || !umockdev_ioctl_client_get_connected(cl->client)
                    || (cl->connection.isKnown() && !cl->connection.peerPresent()))
                    dropClient(cl);
            }
        }

        // A killed process never shows as disconnected. A live client with a transfer pending keeps
        // reaping it; one that has stopped reaping for a while is gone.
        void findKilledClients(qint64 now)
        {
            if (now - d.lastOpenerScan < kSilentClientMs)
                return;
            // umockdev keeps closed handles "connected" too; only a client with a transfer pending
            // that has stopped reaping it counts. One that merely holds the interface may sleep as
            // long as it likes (the export waits seconds between reads).
            bool found = false;
            for (Client* cl : std::as_const(d.clients)) {
                if (cl->dead || !umockdev_ioctl_client_get_connected(cl->client))
                    continue;
                if (!cl->reapParked && !cl->pending.isEmpty() && now - cl->lastSeen >= kSilentClientMs) {
                    cl->dead = true;
                    found = true;
                }
            }
            if (found)
                d.lastOpenerScan = now;
        }

        // Tries to finish a pending URB now; true when it is complete.
        bool progress(Client* cl, Urb& u)
        {
            PrinterEngine& engine = *d.engine;
            if (u.type == UrbControl && u.readyAt >= 0) {
                if (clock.nowMs() < u.readyAt)
                    return false;
                answerDeviceId(u);
                return true;
            }
            if (u.type == UrbControl) {
                // Only the vendor IN request and a late device ID wait; see submitControl.
                qint64 at = 0;
                const Availability a = engine.replyAvailability(&at);
                if (a == Availability::Later)
                    return false;
                deliverReply(u);
                return true;
            }
            if (u.endpoint == usb::BulkIn) {
                const Availability a = engine.bulkInAvailability();
                if (a == Availability::Nothing && cl->jobId >= 0) {
                    // The back channel of a print session: nothing to report, said at once, so that
                    // the host's reader does not sit out its time-out after the job.
                    u.finish(0, 0);
                    return true;
                }
                if (a != Availability::Ready)
                    return false;
                const QByteArray piece = engine.takeBulkIn(u.length);
                std::memcpy(u.buf->data, piece.constData(), size_t(piece.size()));
                u.finish(0, int(piece.size()));
                return true;
            }
            // Bulk OUT: import data after "IMPT" (held back by a stall), print data otherwise.
            const QByteArray data(reinterpret_cast<const char*>(u.buf->data), u.length);
            if (!engine.expectsBulkOut()) {
                if (cl->jobId < 0)
                    cl->jobId = engine.beginJob(QStringLiteral("usb"));
                engine.receiveJobData(cl->jobId, data);
                u.finish(0, u.length);
                return true;
            }
            if (engine.receiveBulk(data, QStringLiteral("usb-bulk")) == BulkOutResult::Stalled)
                return false;
            u.finish(0, u.length);
            return true;
        }

        // GET_DEVICE_ID (u.length: the setup packet and the room the host gave).
        void answerDeviceId(Urb& u)
        {
            const QByteArray reply = usb::deviceIdReply(d.engine->deviceId(), d.inclusiveIdLength);
            const int n = qMin(u.length - 8, int(reply.size()));
            std::memcpy(u.buf->data + 8, reply.constData(), size_t(n));
            u.finish(0, n);
        }

        // Vendor control IN: one answer message (or nothing).
        void deliverReply(Urb& u)
        {
            const int want = u.length - 8;
            const auto message = d.engine->takeReply();
            if (!message) {
                u.finish(0, 0);
                return;
            }
            if (message->dropConnection) {
                d.engine->setUnplugged(true);
                u.finish(-ENODEV, 0);
                return;
            }
            const int n = qMin(want, int(message->bytes.size()));
            std::memcpy(u.buf->data + 8, message->bytes.constData(), size_t(n));
            u.finish(0, n);
        }

        // Returns true when the URB is complete at once, false when it waits.
        bool submitControl(Urb& u)
        {
            if (u.length < 8) {
                u.finish(-EINVAL, 0);
                return true;
            }
            const quint8* s = u.buf->data;
            const quint8 requestType = s[0];
            const quint8 request = s[1];
            const quint16 value = quint16(s[2] | (s[3] << 8));
            const quint16 wLength = quint16(s[6] | (s[7] << 8));
            const int room = qMin<int>(wLength, u.length - 8);
            auto answer = [&](const QByteArray& bytes) {
                const int n = qMin(room, int(bytes.size()));
                std::memcpy(u.buf->data + 8, bytes.constData(), size_t(n));
                u.finish(0, n);
            };
            const PrinterConfig& cfg = d.engine->config();
            if (requestType == 0x80 && request == 6) { // GET_DESCRIPTOR
                const int type = value >> 8;
                QByteArray desc;
                if (type == 1)
                    desc = usb::deviceDescriptor();
                else if (type == 2 && (value & 0xFF) == 0)
                    desc = usb::configurationDescriptor();
                else if (type == 3)
                    desc = usb::stringDescriptor(value & 0xFF, cfg.manufacturer, cfg.product, d.serial);
                if (desc.isEmpty())
                    u.finish(-EPIPE, 0);
                else
                    answer(desc);
                return true;
            }
            if (requestType == 0x80 && request == 8) { // GET_CONFIGURATION
                answer(QByteArray(1, char(d.configuration)));
                return true;
            }
            if (requestType == 0x80 && request == 0) { // GET_STATUS
                answer(QByteArray("\x01\x00", 2));
                return true;
            }
            if (requestType == 0xA1 && request == 0) { // printer class GET_DEVICE_ID
                u.length = room + 8;
                if (const int delay = d.engine->deviceIdDelay(); delay > 0) {
                    u.readyAt = clock.nowMs() + delay;
                    return false;
                }
                answerDeviceId(u);
                return true;
            }
            if (requestType == 0x41 && request == 0x4D) { // a command frame
                const QByteArray frame(reinterpret_cast<const char*>(u.buf->data + 8), room);
                d.engine->receiveFrame(frame, QStringLiteral("usb"));
                if (d.engine->isUnplugged()) {
                    u.finish(-ENODEV, 0);
                    return true;
                }
                u.finish(0, room);
                return true;
            }
            if (requestType == 0xC1 && request == 0) { // the printer's answer
                u.length = room + 8;
                if (d.engine->replyAvailability() == Availability::Later)
                    return false;
                deliverReply(u);
                return true;
            }
            u.finish(-EPIPE, 0); // anything else stalls endpoint 0
            return true;
        }

        void answerReap(Client* cl, UMockdevIoctlClient* client)
        {
            Urb u = cl->done.takeFirst();
            UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
            GError* err = nullptr;
            UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &err);
            if (!slot) {
                g_clear_error(&err);
                cl->dead = true;
                u.release();
                complete(client, -1, EIO);
                return;
            }
            umockdev_ioctl_data_set_ptr(slot, 0, u.urb);
            complete(client, 0, 0);
            g_object_unref(slot);
            u.release();
            cl->emptyReaps = 0;
        }

        // Scheduler pass. Returns the earliest time (ms) something needs a look, or -1.
        qint64 tick(bool forceClientCheck)
        {
            dropVanishedClients(forceClientCheck);
            const qint64 now = clock.nowMs();
            qint64 wake = -1;
            auto wakeAt = [&wake](qint64 at) {
                if (at >= 0 && (wake < 0 || at < wake))
                    wake = at;
            };
            if (d.engine->isUnplugged()) {
                // Gone from the bus: what was submitted ends as "no device" and can still be reaped
                // (a regular file cannot signal POLLERR, so the client learns it from the URBs).
                for (Client* cl : std::as_const(d.clients)) {
                    for (Urb& u : cl->pending) {
                        u.finish(-ENODEV, 0);
                        cl->done.append(u);
                    }
                    cl->pending.clear();
                    if (cl->reapParked) {
                        cl->reapParked = false;
                        if (!cl->done.isEmpty())
                            answerReap(cl, cl->client);
                        else
                            complete(cl->client, -1, ENODEV);
                    }
                }
                return -1;
            }
            for (Client* cl : std::as_const(d.clients)) {
                for (int i = 0; i < cl->pending.size();) {
                    if (progress(cl, cl->pending[i])) {
                        cl->done.append(cl->pending.takeAt(i));
                        continue;
                    }
                    ++i;
                }
                if (cl->reapParked && !clientAlive(cl)) {
                    cl->reapParked = false;
                    continue;
                }
                if (cl->reapParked) {
                    if (!cl->done.isEmpty()) {
                        cl->reapParked = false;
                        answerReap(cl, cl->client);
                    } else if (!cl->reapBlocking && now >= cl->reapDeadline) {
                        cl->reapParked = false;
                        complete(cl->client, -1, EAGAIN);
                    } else if (!cl->reapBlocking) {
                        wakeAt(cl->reapDeadline);
                    }
                }
                for (const Urb& u : std::as_const(cl->pending))
                    wakeAt(u.readyAt);
                if (!cl->pending.isEmpty()) {
                    qint64 at = -1;
                    if (d.engine->replyAvailability(&at) == Availability::Later)
                        wakeAt(at);
                    if (d.engine->bulkInAvailability(&at) == Availability::Later)
                        wakeAt(at);
                }
            }
            return wake;
        }

        UsbDevice& d;
        SimClock& clock;
    };

    // One usbdevfs ioctl of a client, answered under the front-end's lock. Each request has a handler
    // of its own; every handler completes the ioctl, except a reap that it leaves parked for the
    // scheduler.
    class Request
    {
    public:
        Request(Device& dev, Client* cl, UMockdevIoctlClient* client, UMockdevTestbed* testbed)
            : dev(dev)
            , d(dev.d)
            , cl(cl)
            , client(client)
            , testbed(testbed)
            , request(umockdev_ioctl_client_get_request(client))
            , arg(umockdev_ioctl_client_get_arg(client))
        {
        }

        // Answers the request; true when the scheduler must look now (something was submitted, or a
        // reap is parked).
        bool answer()
        {
            if (d.engine->isUnplugged())
                answerUnplugged();
            else
                (this->*handlerFor(request))();
            return wakeScheduler;
        }

    private:
        using Handler = void (Request::*)();

        static Handler handlerFor(gulong request)
        {
            switch (request) {
            case USBDEVFS_GET_CAPABILITIES:
                return &Request::getCapabilities;
            case USBDEVFS_SETCONFIGURATION:
                return &Request::setConfiguration;
            case USBDEVFS_GETDRIVER:
                return &Request::getDriver;
            case USBDEVFS_IOCTL:
                return &Request::driverIoctl;
            case USBDEVFS_DISCONNECT_CLAIM:
                return &Request::disconnectClaim;
            case USBDEVFS_CLAIMINTERFACE:
                return &Request::claimInterface;
            case USBDEVFS_RELEASEINTERFACE:
                return &Request::releaseInterface;
            case USBDEVFS_CLEAR_HALT:
            case USBDEVFS_RESETEP:
            case USBDEVFS_SETINTERFACE:
            case USBDEVFS_RESET:
                return &Request::acknowledge;
            case USBDEVFS_GET_SPEED:
                return &Request::getSpeed;
            case USBDEVFS_CONNECTINFO:
                return &Request::connectInfo;
            case USBDEVFS_SUBMITURB:
                return &Request::submitUrb;
            case USBDEVFS_REAPURB:
            case USBDEVFS_REAPURBNDELAY:
                return &Request::reapUrb;
            case USBDEVFS_DISCARDURB:
                return &Request::discardUrb;
            default:
                return &Request::unknown;
            }
        }

        // Gone from the bus: a completed URB can still be reaped; everything else fails, and what
        // was pending ends as "no device".
        void answerUnplugged()
        {
            if ((request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) && !cl->done.isEmpty()) {
                dev.answerReap(cl, client);
                return;
            }
            for (Urb& u : cl->pending) {
                u.finish(-ENODEV, 0);
                cl->done.append(u);
            }
            cl->pending.clear();
            if (request == USBDEVFS_DISCARDURB)
                complete(client, -1, EINVAL);
            else
                complete(client, -1, ENODEV);
        }

        // The argument's memory in the client, `size` bytes; null (and the request failed with EFAULT)
        // when it cannot be read. The caller unreferences it.
        UMockdevIoctlData* resolveArg(gsize size)
        {
            GError* err = nullptr;
            UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, size, &err);
            if (!data) {
                g_clear_error(&err);
                complete(client, -1, EFAULT);
            }
            return data;
        }

        // Copies the argument, a T, out of the client; false when the request already failed.
        template <typename T> bool readArg(T* value)
        {
            UMockdevIoctlData* data = resolveArg(sizeof(T));
            if (!data)
                return false;
            std::memcpy(value, data->data, sizeof(T));
            g_object_unref(data);
            return true;
        }

        // Writes `value` into the argument and completes the request with 0.
        template <typename T> void answerWith(const T& value)
        {
            UMockdevIoctlData* data = resolveArg(sizeof(T));
            if (!data)
                return;
            std::memcpy(data->data, &value, sizeof(T));
            complete(client, 0, 0);
            g_object_unref(data);
        }

        // Whether a client other than `except` holds the interface (any client when it is null). A
        // holder that has just closed the device or died has let go, as in the kernel.
        bool interfaceClaimed(const Client* except = nullptr)
        {
            auto held = [&] {
                for (const Client* c : std::as_const(d.clients)) {
                    if (c != except && c->claimed)
                        return true;
                }
                return false;
            };
            if (!held())
                return false;
            dev.dropVanishedClients(true, cl);
            return held();
        }

        // Claims the interface for this client unless the driver or another client holds it.
        void claim()
        {
            if (d.driverBound || interfaceClaimed(cl)) {
                complete(client, -1, EBUSY);
                return;
            }
            cl->claimed = true;
            complete(client, 0, 0);
        }

        // Reads the interface number of a claim or release; only interface 0 exists.
        bool readInterfaceZero()
        {
            unsigned int iface = 0;
            if (!readArg(&iface))
                return false;
            if (iface != 0) {
                complete(client, -1, EINVAL);
                return false;
            }
            return true;
        }

        void getCapabilities() { answerWith(quint32(USBDEVFS_CAP_NO_PACKET_SIZE_LIM)); }

        void setConfiguration()
        {
            int config = 0;
            if (!readArg(&config))
                return;
            if (config != 1 && config != 0 && config != -1) {
                complete(client, -1, EINVAL);
                return;
            }
            if (d.driverBound || interfaceClaimed()) { // as the kernel: no configuration change under a bound interface
                complete(client, -1, EBUSY);
                return;
            }
            d.configuration = config == 1 ? 1 : 0;
            umockdev_testbed_set_attribute(
                testbed, d.sysPath.constData(), "bConfigurationValue", d.configuration ? "1\n" : "\n");
            complete(client, 0, 0);
        }

        void getDriver()
        {
            UMockdevIoctlData* data = resolveArg(sizeof(usbdevfs_getdriver));
            if (!data)
                return;
            auto* gd = reinterpret_cast<usbdevfs_getdriver*>(data->data);
            if (gd->interface != 0 || !d.driverBound) {
                complete(client, -1, ENODATA);
            } else {
                std::memset(gd->driver, 0, sizeof gd->driver);
                std::strcpy(gd->driver, "usblp");
                complete(client, 0, 0);
            }
            g_object_unref(data);
        }

        // USBDEVFS_IOCTL: detaches (DISCONNECT) or re-attaches (CONNECT) the kernel driver.
        void driverIoctl()
        {
            usbdevfs_ioctl io;
            if (!readArg(&io))
                return;
            if (io.ifno != 0) {
                complete(client, -1, EINVAL);
            } else if (io.ioctl_code == int(USBDEVFS_DISCONNECT)) {
                if (!d.driverBound) {
                    complete(client, -1, ENODATA);
                } else {
                    d.driverBound = false;
                    complete(client, 0, 0);
                }
            } else if (io.ioctl_code == int(USBDEVFS_CONNECT)) {
                if (interfaceClaimed()) {
                    complete(client, -1, EBUSY);
                } else {
                    d.driverBound = true;
                    complete(client, 1, 0); // the driver bound again
                }
            } else {
                complete(client, -1, ENOTTY);
            }
        }

        void disconnectClaim()
        {
            usbdevfs_disconnect_claim dc;
            if (!readArg(&dc))
                return;
            if (dc.interface != 0) {
                complete(client, -1, EINVAL);
                return;
            }
            if (interfaceClaimed(cl)) {
                complete(client, -1, EBUSY);
                return;
            }
            const bool named = std::strncmp(dc.driver, "usblp", sizeof dc.driver) == 0;
            const bool disconnect = d.driverBound && (!(dc.flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER) || named)
                && (!(dc.flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) || !named);
            if (disconnect)
                d.driverBound = false;
            claim();
        }

        void claimInterface()
        {
            if (readInterfaceZero())
                claim();
        }

        void releaseInterface()
        {
            if (!readInterfaceZero())
                return;
            if (!cl->claimed) {
                complete(client, -1, EINVAL);
                return;
            }
            cl->claimed = false;
            dev.endJob(cl);
            complete(client, 0, 0);
        }

        // Requests that change nothing the simulation keeps track of.
        void acknowledge() { complete(client, 0, 0); }

        void getSpeed() { complete(client, 3 /* high speed */, 0); }

        void connectInfo()
        {
            usbdevfs_connectinfo ci = {};
            ci.devnum = unsigned(d.devnum);
            ci.slow = 0;
            answerWith(ci);
        }

        void submitUrb()
        {
            UMockdevIoctlData* urbData = resolveArg(sizeof(usbdevfs_urb));
            if (!urbData)
                return;
            usbdevfs_urb urb;
            std::memcpy(&urb, urbData->data, sizeof urb);
            Urb u;
            u.urb = urbData;
            u.address = urbData->client_addr;
            u.type = urb.type;
            u.endpoint = urb.endpoint;
            u.length = urb.buffer_length;
            if (u.length > 0) {
                GError* err = nullptr;
                u.buf = umockdev_ioctl_data_resolve(
                    urbData, G_STRUCT_OFFSET(usbdevfs_urb, buffer), gsize(u.length), &err);
                if (!u.buf) {
                    g_clear_error(&err);
                    g_object_unref(urbData);
                    complete(client, -1, EFAULT);
                    return;
                }
            }
            u.finish(-EINPROGRESS, 0);
            bool finished = false;
            if (u.type == UrbControl && u.endpoint == 0 && u.buf) {
                finished = dev.submitControl(u);
            } else if (u.type == UrbBulk && (u.endpoint == usb::BulkIn || u.endpoint == usb::BulkOut) && u.buf
                && cl->claimed) {
                finished = dev.progress(cl, u);
            } else { // no such endpoint, or bulk without the interface
                u.release();
                complete(client, -1, EINVAL);
                return;
            }
            if (finished)
                cl->done.append(u);
            else
                cl->pending.append(u);
            cl->emptyReaps = 0;
            complete(client, 0, 0);
            wakeScheduler = true;
        }

        void reapUrb()
        {
            if (!cl->done.isEmpty()) {
                dev.answerReap(cl, client);
                return;
            }
            if (request == USBDEVFS_REAPURB) {
                cl->reapParked = true;
                cl->reapBlocking = true;
            } else if (++cl->emptyReaps <= 1) {
                complete(client, -1, EAGAIN);
                return;
            } else {
                // The node is a regular file, so the client's poll() never waits: hold the reap a moment.
                cl->reapParked = true;
                cl->reapBlocking = false;
                cl->reapDeadline = dev.clock.nowMs() + kReapParkMs;
            }
            wakeScheduler = true;
        }

        void discardUrb()
        {
            gulong address = 0;
            std::memcpy(&address, arg->data, qMin<size_t>(sizeof address, size_t(arg->data_len)));
            for (int i = 0; i < cl->pending.size(); ++i) {
                if (cl->pending[i].address == address) {
                    Urb u = cl->pending.takeAt(i);
                    u.finish(-ENOENT, 0);
                    cl->done.append(u);
                    complete(client, 0, 0);
                    return;
                }
            }
            complete(client, -1, EINVAL);
        }

        void unknown() { complete(client, -1, ENOTTY); }

        Device& dev;
        UsbDevice& d;
        Client* cl;
        UMockdevIoctlClient* client;
        UMockdevTestbed* testbed;
        const gulong request;
        UMockdevIoctlData* arg;
        bool wakeScheduler = false;
    };

} // namespace

UsbFrontend::UsbFrontend(SimClock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
{
}

UsbFrontend::~UsbFrontend()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_scheduler.joinable())
        m_scheduler.join();
    for (UsbDevice* d : std::as_const(m_devices)) {
        d->engine->setChangeListener({});
        if (m_testbed && d->present)
            umockdev_testbed_detach_ioctl(m_testbed, d->devNode.constData(), nullptr);
        if (d->handler)
            g_object_unref(d->handler);
        // Clients still connected keep their umockdev references (dropClient puts them in the
        // graveyard): umockdev must not see them destroyed while their stream is open.
        Device(*d, m_clock).dropAllClients();
        delete d;
    }
    if (m_testbed)
        g_object_unref(m_testbed);
}

bool UsbFrontend::start(QString* error)
{
    m_testbed = umockdev_testbed_new();
    if (!m_testbed || !umockdev_in_mock_environment()) {
        *error = QStringLiteral("no umockdev environment (is libumockdev-preload.so.0 preloaded?)");
        return false;
    }
    m_scheduler = std::thread([this] { schedulerLoop(); });
    return true;
}

QString UsbFrontend::testbedRoot() const
{
    if (!m_testbed)
        return QString();
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    const QString r = QString::fromLocal8Bit(root);
    g_free(root);
    return r;
}

bool UsbFrontend::addPrinter(PrinterEngine& engine, bool inclusiveIdLength, QString* error)
{
    auto* d = new UsbDevice;
    d->engine = &engine;
    d->serial = engine.config().serial;
    d->index = int(m_devices.size());
    d->devnum = d->index + 2;
    d->inclusiveIdLength = inclusiveIdLength;
    const QByteArray num = QByteArray::number(d->devnum).rightJustified(3, '0');
    const QByteArray port = "1-" + QByteArray::number(d->index + 1);
    d->devNode = "/dev/bus/usb/001/" + num;
    d->socketPath = QFile::encodeName(testbedRoot()) + "/ioctl" + d->devNode;
    d->sysPath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/" + port;
    const QByteArray descriptors = usb::deviceDescriptor() + usb::configurationDescriptor();
    const PrinterConfig& cfg = engine.config();
    d->record = "P: /devices/pci0000:00/0000:00:14.0/usb1/" + port
        + "\n"
          "N: bus/usb/001/"
        + num + "=" + hex(descriptors)
        + "\n"
          "E: DEVNAME=/dev/bus/usb/001/"
        + num
        + "\n"
          "E: DEVTYPE=usb_device\n"
          "E: DRIVER=usb\n"
          "E: PRODUCT=1209/1/100\n"
          "E: TYPE=0/0/0\n"
          "E: BUSNUM=001\n"
          "E: DEVNUM="
        + num
        + "\n"
          "E: SUBSYSTEM=usb\n"
          "A: busnum=1\\n\n"
          "A: devnum="
        + QByteArray::number(d->devnum)
        + "\\n\n"
          "A: speed=480\\n\n"
          "A: bConfigurationValue=1\\n\n"
          "A: bNumConfigurations=1\\n\n"
          "A: bNumInterfaces= 1\\n\n"
          "A: idVendor=1209\\n\n"
          "A: idProduct=0001\\n\n"
          "A: manufacturer="
        + cfg.manufacturer
        + "\\n\n"
          "A: product="
        + cfg.product
        + "\\n\n"
          "A: serial="
        + d->serial
        + "\\n\n"
          "H: descriptors="
        + hex(descriptors) + "\n";
    GError* err = nullptr;
    if (!umockdev_testbed_add_from_string(m_testbed, d->record.constData(), &err)) {
        *error = QStringLiteral("cannot add USB device %1: %2")
                     .arg(QString::fromLatin1(d->serial), QString::fromUtf8(err->message));
        g_clear_error(&err);
        delete d;
        return false;
    }
    d->handler = umockdev_ioctl_base_new();
    auto* ctx = new std::pair<UsbFrontend*, int>(this, d->index);
    g_signal_connect_data(
        d->handler, "handle-ioctl", G_CALLBACK(onHandleIoctl), ctx,
        [](gpointer p, GClosure*) { delete static_cast<std::pair<UsbFrontend*, int>*>(p); }, GConnectFlags(0));
    if (!umockdev_testbed_attach_ioctl(m_testbed, d->devNode.constData(), d->handler, &err)) {
        *error = QStringLiteral("cannot attach to %1: %2")
                     .arg(QString::fromLatin1(d->devNode), QString::fromUtf8(err->message));
        g_clear_error(&err);
        g_object_unref(d->handler);
        delete d;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_devices.append(d);
    }
    engine.setChangeListener([this] {
        kick();
        QMetaObject::invokeMethod(this, &UsbFrontend::syncPlugState, Qt::QueuedConnection);
    });
    return true;
}

void UsbFrontend::kick() { m_wake.notify_all(); }

bool UsbFrontend::handleIoctl(int index, void* clientPtr)
{
    auto* client = static_cast<UMockdevIoctlClient*>(clientPtr);
    std::unique_lock<std::mutex> lock(m_mutex);
    if (index < 0 || index >= m_devices.size())
        return false;
    Device dev(*m_devices[index], m_clock);
    dev.dropVanishedClients(false);
    Client* cl = dev.clientFor(client);
    cl->lastSeen = m_clock.nowMs();
    if (Request(dev, cl, client, m_testbed).answer()) {
        lock.unlock();
        kick();
    }
    return true;
}

void UsbFrontend::schedulerLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    qint64 lastClientCheck = 0;
    while (!m_stop) {
        const qint64 now = m_clock.nowMs();
        const bool checkClients = now - lastClientCheck >= kClientCheckMs;
        if (checkClients)
            lastClientCheck = now;
        qint64 wake = -1;
        for (UsbDevice* d : std::as_const(m_devices)) {
            const qint64 at = Device(*d, m_clock).tick(checkClients);
            if (at >= 0 && (wake < 0 || at < wake))
                wake = at;
        }
        qint64 waitMs = kIdleTickMs;
        if (wake >= 0)
            waitMs = qBound(qint64(0), wake - m_clock.nowMs(), qint64(kIdleTickMs));
        if (waitMs > 0)
            m_wake.wait_for(lock, std::chrono::milliseconds(waitMs));
    }
}

void UsbFrontend::syncPlugState()
{
    for (UsbDevice* d : std::as_const(m_devices)) {
        const bool unplugged = d->engine->isUnplugged();
        if (unplugged && d->present) {
            umockdev_testbed_uevent(m_testbed, d->sysPath.constData(), "remove");
            umockdev_testbed_remove_device(m_testbed, d->sysPath.constData());
            d->present = false;
        } else if (!unplugged && !d->present) {
            GError* err = nullptr;
            if (umockdev_testbed_add_from_string(m_testbed, d->record.constData(), &err)) {
                std::lock_guard<std::mutex> lock(m_mutex);
                d->driverBound = true;
                d->configuration = 1;
                d->present = true;
                // A device plugged in again is a new device: what its old openers held is gone.
                for (Client* cl : std::as_const(d->clients))
                    cl->claimed = false;
            } else {
                qWarning("fpsim: cannot plug %s in again: %s", d->serial.constData(), err->message);
                g_clear_error(&err);
            }
        }
    }
    kick();
}

} // namespace fpsim
