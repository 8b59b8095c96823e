// Registration replies, decoded from code page 932 and delivered through the fake socket to a
// client window that has sent its request.
//
// Input: records separated by 0xFF. Each record is one action byte and the reply's bytes.
// Action bits 0-1: how taking the reply goes (fine; refused once by the peer, so the socket is
// re-bound; refused twice; another error once); bit 2: press Btn_HostIP again first; bit 3:
// the watchdog fires after the reply; bit 4: press Start (and Stop again) after the reply.

#include "client_rig.h"
#include "platform/cp932.h"

namespace {

const QString kNotRegistered = QStringLiteral("未登録");

void pressHostIP(ClientRig& r)
{
    r.dialogs.inputAnswers = {QStringLiteral("127.0.0.1")};
    r.w->Btn_HostIP_Click();
    FUZZ_CHECK(r.chk.isBound());
    FUZZ_CHECK(r.chk.localPort() == Datagram::kCheckerLocalPort);
    FUZZ_CHECK(r.chk.remotePort() == Datagram::kCheckerRemotePort);
    FUZZ_CHECK(r.chk.sent.last() == r.w->Lbl_LocalIP.caption());
    FUZZ_CHECK(r.w->m_HostWait == VbTrue);
    FUZZ_CHECK(r.w->Time_HostChk.enabled());
}

void reply(ClientRig& r, const QString& text, int takeMode)
{
    ClientWindow& w = *r.w;
    switch (takeMode) {
    case 1:
        r.chk.takeErrors = {SocketError::ConnectionReset};
        break;
    case 2:
        r.chk.takeErrors = {SocketError::ConnectionReset, SocketError::ConnectionReset};
        break;
    case 3:
        r.chk.takeErrors = {SocketError::Other};
        break;
    default:
        r.chk.takeErrors.clear();
        break;
    }
    const QString carBefore = w.Cmb_CarNo.text();
    const qsizetype boxesBefore = r.dialogs.boxes.size();
    const int closesBefore = r.chk.closes;

    r.chk.deliver(text);

    FUZZ_CHECK(w.m_HostWait == VbFalse);
    // Only a refusal by the peer re-binds, and only once per reply.
    FUZZ_CHECK(r.chk.closes - closesBefore == (takeMode == 1 || takeMode == 2 ? 1 : 0));
    FUZZ_CHECK(r.chk.isBound());
    // The fake loses a datagram whose take fails, so only a clean take hands the text over.
    const bool taken = takeMode == 0;
    if (taken && text == kNotRegistered) {
        FUZZ_CHECK(r.dialogs.boxes.size() == boxesBefore + 1);
        FUZZ_CHECK(r.dialogs.boxes.last().prompt
                   == QStringLiteral("ホスト側で未登録です。\rホスト側を確認してください。"));
        FUZZ_CHECK(w.Cmb_CarNo.text() == carBefore);
    } else {
        FUZZ_CHECK(r.dialogs.boxes.size() == boxesBefore);
        FUZZ_CHECK(w.Cmb_CarNo.text() == (taken ? text : carBefore));
    }
}

void watchdog(ClientRig& r)
{
    const qsizetype boxesBefore = r.dialogs.boxes.size();
    r.w->Time_HostChk_Timer();
    FUZZ_CHECK(!r.w->Time_HostChk.enabled());
    FUZZ_CHECK(r.w->m_HostWait == VbFalse);
    FUZZ_CHECK(r.dialogs.boxes.size() == boxesBefore);  // the reply came before it
}

void startAndStop(ClientRig& r)
{
    ClientWindow& w = *r.w;
    const QString car = w.Cmb_CarNo.text();
    const qsizetype boxesBefore = r.dialogs.boxes.size();
    const uint16_t localBefore = r.sock.localPort();
    w.Btn_Start_Click();
    if (car.isEmpty()) {
        FUZZ_CHECK(r.dialogs.boxes.size() == boxesBefore + 1);
        FUZZ_CHECK(w.Btn_Start.caption() == QLatin1String("Start"));
        return;
    }
    FUZZ_CHECK(w.Btn_Start.caption() == QLatin1String("Stop"));
    FUZZ_CHECK(!w.Time_HostChk.enabled());
    if (const int n = Datagram::carOfText(car)) {
        FUZZ_CHECK(r.sock.localPort() == Datagram::clientPort(n));
        FUZZ_CHECK(r.sock.remotePort() == Datagram::hostPort(n));
    } else {
        FUZZ_CHECK(r.sock.localPort() == localBefore);
    }
    r.dialogs.answers = {MsgBox::vbYes};
    w.Btn_Start_Click();
    FUZZ_CHECK(w.Btn_Start.caption() == QLatin1String("Start"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ClientRig rig;
    pressHostIP(rig);

    for (const QByteArray& record : FuzzSupport::splitRecords(data, size)) {
        const auto action = static_cast<uint8_t>(record.isEmpty() ? 0 : record.at(0));
        if (action & 0x04)
            pressHostIP(rig);
        reply(rig, Cp932::decode(record.mid(1)), action & 3);
        // A disabled watchdog does not fire.
        if ((action & 0x08) && rig.w->Time_HostChk.enabled())
            watchdog(rig);
        if (action & 0x10)
            startAndStop(rig);
    }
    return 0;
}
