#include "platform/setup_probe.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMap>
#include <QProcessEnvironment>

#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// A command-line check may wait, but not for long: polkit and timedated answer in
// milliseconds, and a hung bus must not hang the check.
constexpr int kBusTimeoutMs = 3000;
const QString kSetTime = QStringLiteral("org.freedesktop.timedate1.set-time");
const QString kGroup = QStringLiteral("rivect");

/// Where the calling user stands towards the group rivect.
enum class Membership {
    Member,       ///< this process has the group
    SinceLogin,   ///< the user was added, but this login predates it
    NotMember,    ///< the user is not in the group
    NoGroup,      ///< the group does not exist: the package is not installed
};

QString userName()
{
    if (const passwd* pw = getpwuid(geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(geteuid());
}

Membership membership()
{
    const group* gr = getgrnam("rivect");
    if (!gr)
        return Membership::NoGroup;
    const gid_t gid = gr->gr_gid;
    std::vector<gid_t> groups(std::max(getgroups(0, nullptr), 0) + 1);
    const int n = getgroups(int(groups.size()), groups.data());
    groups.resize(std::max(n, 0));
    if (getegid() == gid || std::find(groups.begin(), groups.end(), gid) != groups.end())
        return Membership::Member;
    const QByteArray name = userName().toLocal8Bit();
    for (char** member = gr->gr_mem; member && *member; ++member)
        if (name == *member)
            return Membership::SinceLogin;
    return Membership::NotMember;
}

/// The command that puts this user into the group and lets the next login take it.
QString joinGroupRemedy(Membership m)
{
    switch (m) {
    case Membership::NoGroup:
        return QStringLiteral("sudo apt install ./rivect_*.deb   # the package brings the group, its polkit rule "
                              "and limits");
    case Membership::NotMember:
        return QStringLiteral("sudo usermod -aG rivect %1   # then log out and log in again").arg(userName());
    case Membership::SinceLogin:
    case Membership::Member:
        break;
    }
    return QStringLiteral("log out and log in again   # a group and its limits count from the next login");
}

SetupItem groupItem(Membership m)
{
    SetupItem item;
    item.label = QStringLiteral("the user %1 is in the group rivect").arg(userName());
    item.holds = m == Membership::Member;
    if (m == Membership::NoGroup)
        item.found = QStringLiteral("there is no group rivect on this PC");
    else if (m == Membership::NotMember)
        item.found = QStringLiteral("%1 is not a member").arg(userName());
    else if (m == Membership::SinceLogin)
        item.found = QStringLiteral("%1 was added after this login began").arg(userName());
    if (!item.holds)
        item.remedy = joinGroupRemedy(m);
    return item;
}

QString polkitLabel()
{
    return QStringLiteral("polkit lets %1 set the clock without a password (%2)").arg(userName(), kSetTime);
}

QString ntpLabel()
{
    return QStringLiteral("automatic time synchronisation is off (the host sets the clock)");
}

/// The bus's answer as a sentence, for the "found" line.
QString busFailure(const QDBusMessage& reply, const QString& who)
{
    const QDBusError::ErrorType type = QDBusError(reply).type();
    if (type == QDBusError::NoReply || type == QDBusError::Timeout || type == QDBusError::TimedOut)
        return QStringLiteral("%1 did not answer within %2 s").arg(who).arg(kBusTimeoutMs / 1000);
    if (type == QDBusError::ServiceUnknown)
        return QStringLiteral("%1 is not on the system bus").arg(who);
    return QStringLiteral("%1 answered: %2").arg(who, reply.errorMessage());
}

bool unanswered(const QDBusMessage& reply)
{
    const QDBusError::ErrorType type = QDBusError(reply).type();
    return type == QDBusError::NoReply || type == QDBusError::Timeout || type == QDBusError::TimedOut;
}

/// polkit's unix-process subject for this process: (sa{sv}). A start time of 0 lets polkit
/// read it from the kernel itself.
QDBusArgument thisProcess()
{
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("unix-process");
    subject.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    const std::pair<QString, QVariant> details[] = {
        {QStringLiteral("pid"), QVariant::fromValue(quint32(getpid()))},
        {QStringLiteral("start-time"), QVariant::fromValue(quint64(0))},
        {QStringLiteral("uid"), QVariant::fromValue(qint32(getuid()))},
    };
    for (const auto& [key, value] : details) {
        subject.beginMapEntry();
        subject << key << QDBusVariant(value);
        subject.endMapEntry();
    }
    subject.endMap();
    subject.endStructure();
    return subject;
}

SetupItem polkitItem(QDBusConnection& bus, Membership m)
{
    SetupItem item;
    item.label = polkitLabel();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"), QStringLiteral("CheckAuthorization"));
    QDBusArgument noDetails;
    noDetails.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    noDetails.endMap();
    // Flags 0: never ask a person; the answer is what a lap report would meet.
    call << QVariant::fromValue(thisProcess()) << kSetTime << QVariant::fromValue(noDetails) << quint32(0)
         << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        item.found = busFailure(reply, QStringLiteral("polkit"));
        item.remedy = unanswered(reply) ? QStringLiteral("sudo systemctl restart polkit")
                                        : QStringLiteral("sudo apt install polkitd");
        return item;
    }
    bool authorized = false;
    bool challenge = false;
    QMap<QString, QString> details;
    const QDBusArgument result = reply.arguments().constFirst().value<QDBusArgument>();
    result.beginStructure();
    result >> authorized >> challenge >> details;
    result.endStructure();
    item.holds = authorized;
    if (authorized)
        return item;
    item.found = challenge ? QStringLiteral("only with an administrator's password") : QStringLiteral("refused");
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (m == Membership::Member && env.contains(QStringLiteral("SSH_CONNECTION"))) {
        // The rule grants only the person at the PC: over SSH the answer is no by design.
        item.found += QStringLiteral(" (asked over SSH, which is never granted)");
        item.remedy = QStringLiteral("rivect --check-setup   # in a terminal on the pit PC's own desktop");
    } else if (m == Membership::Member) {
        item.found += QStringLiteral(" (granted only in an active session at the PC itself)");
        item.remedy = QStringLiteral("sudo apt install --reinstall ./rivect_*.deb   # restores the polkit rule");
    } else {
        item.remedy = joinGroupRemedy(m);
    }
    return item;
}

SetupItem ntpItem(QDBusConnection& bus)
{
    SetupItem item;
    item.label = ntpLabel();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.timedate1"), QStringLiteral("/org/freedesktop/timedate1"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.freedesktop.timedate1") << QStringLiteral("NTP");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        item.found = busFailure(reply, QStringLiteral("systemd-timedated"));
        item.remedy = unanswered(reply) ? QStringLiteral("systemctl status systemd-timedated   # says why it hangs")
                                        : QStringLiteral("sudo apt install systemd");
        return item;
    }
    const bool ntp = reply.arguments().constFirst().value<QDBusVariant>().variant().toBool();
    item.holds = !ntp;
    if (ntp) {
        item.found = QStringLiteral("on: systemd-timedated refuses every setting from the host");
        item.remedy = QStringLiteral("sudo timedatectl set-ntp false");
    }
    return item;
}

SetupItem limitsItem(Membership m)
{
    SetupItem item;
    item.label = QStringLiteral("the real-time priority and nice limits are in force (rtprio 1, nice -10)");
    rlimit rtprio{};
    rlimit nice{};
    getrlimit(RLIMIT_RTPRIO, &rtprio);
    getrlimit(RLIMIT_NICE, &nice);
    // RLIMIT_NICE counts from 20 down: nice -10 needs a limit of at least 30.
    const bool rtOk = rtprio.rlim_cur == RLIM_INFINITY || rtprio.rlim_cur >= 1;
    const bool niceOk = nice.rlim_cur == RLIM_INFINITY || nice.rlim_cur >= 30;
    item.holds = rtOk && niceOk;
    if (!item.holds) {
        item.found = QStringLiteral("RLIMIT_RTPRIO %1 (needs 1), RLIMIT_NICE %2 (needs 30 for nice -10)")
                         .arg(rtprio.rlim_cur)
                         .arg(nice.rlim_cur);
        item.remedy = joinGroupRemedy(m);
    }
    return item;
}

/// Whether name has an owner on bus or would be started on demand. Asks; holds nothing.
bool serviceOnBus(const QDBusConnection& bus, const QString& name)
{
    if (!bus.isConnected())
        return false;
    auto ask = [&bus](const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                           QStringLiteral("/org/freedesktop/DBus"),
                                                           QStringLiteral("org.freedesktop.DBus"), method);
        call.setArguments(arguments);
        const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() ? reply.arguments().constFirst()
                                                                                          : QVariant();
    };
    return ask(QStringLiteral("NameHasOwner"), {name}).toBool()
        || ask(QStringLiteral("ListActivatableNames"), {}).toStringList().contains(name);
}

/// A run keeps the PC awake through the desktop's idle inhibition or logind's; either will do.
SetupItem keepAwakeItem()
{
    SetupItem item;
    item.label = QStringLiteral("a run can keep this PC awake (the desktop's idle inhibition or logind's)");
    const QDBusConnection session = QDBusConnection::sessionBus();
    item.holds = serviceOnBus(session, QStringLiteral("org.freedesktop.ScreenSaver"))
        || serviceOnBus(QDBusConnection::systemBus(), QStringLiteral("org.freedesktop.login1"));
    if (item.holds)
        return item;
    item.found = QStringLiteral("%1, and no org.freedesktop.login1 on the system bus: the PC may sleep in a run")
                     .arg(session.isConnected() ? QStringLiteral("no org.freedesktop.ScreenSaver on the session bus")
                                                : QStringLiteral("no session bus"));
    item.remedy = session.isConnected()
        ? QStringLiteral("sudo systemctl start systemd-logind")
        : QStringLiteral("rivect --check-setup   # in a terminal on the pit PC's own desktop");
    return item;
}

}  // namespace

QList<SetupItem> probeOsSetup()
{
    const Membership m = membership();
    QList<SetupItem> items{groupItem(m)};
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        items << polkitItem(bus, m) << ntpItem(bus);
    } else {
        const QString found = QStringLiteral("no system bus: %1").arg(bus.lastError().message());
        const QString remedy = QStringLiteral("sudo systemctl start dbus");
        items << SetupItem{polkitLabel(), false, found, remedy} << SetupItem{ntpLabel(), false, found, remedy};
    }
    items << limitsItem(m) << keepAwakeItem();
    return items;
}
