#include "ui/client_view.h"

#include "ui/appearance.h"
#include "ui/large_text_label.h"
#include "ui/timer_binding.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

const QString kCaption = QStringLiteral("Chronel");

/// The press handler of a button control.
std::function<void()> clickHandler(ClientWindow& w, ClientControl c)
{
    switch (c) {
    case ClientControl::Btn_HostIP: return [&w] { w.Btn_HostIP_Click(); };
    case ClientControl::Btn_Start: return [&w] { w.Btn_Start_Click(); };
    case ClientControl::Btn_End: return [&w] { w.Btn_End_Click(); };
    case ClientControl::Btn_MessChg: return [&w] { w.Btn_MessChg_Click(); };
    case ClientControl::Btn_EditMess: return [&w] { w.Btn_EditMess_Click(); };
    default: return {};
    }
}

void setColorIfDifferent(QWidget* w, QPalette::ColorRole role, const QColor& color)
{
    if (w->palette().color(QPalette::Active, role) == color)
        return;
    QPalette p = w->palette();
    p.setColor(role, color);
    w->setPalette(p);
}

} // namespace

ClientView::ClientView(ClientWindow& window, const ClientLayout& layout, QWidget* parent)
    : QWidget(parent), m_window(window), m_layout(layout)
{
    if (const QScreen* s = screen()) {
        m_dpiX = s->logicalDotsPerInchX();
        m_dpiY = s->logicalDotsPerInchY();
    }

    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                            | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (layout.minMaxButtons)
        flags |= Qt::WindowMinMaxButtonsHint;
    setWindowFlags(flags);
    setWindowTitle(kCaption);

    QPalette p = Appearance::fixedPalette();
    p.setColor(QPalette::Window, Appearance::toQColor(layout.background));
    setPalette(p);
    setAutoFillBackground(true);
    setFont(scaledFont(LayoutFont{}));
    resize(clientPxSize());

    using C = ClientControl;
    for (std::size_t i = 0; i < kClientControlCount; ++i) {
        const auto c = ClientControl(i);
        switch (layout[c].kind) {
        case ControlKind::Label:
            buildLabel(c);
            break;
        case ControlKind::ComboBox:
            buildCombo(c);
            break;
        case ControlKind::Button:
            buildButton(c, clickHandler(m_window, c));
            break;
        }
    }

    // The lamp lies inside the bordered heading box and must be painted over it.
    control(C::Lbl_Link)->raise();

    bindTimers();
    m_frame = new WindowFrame(*this, [this](QSize growth) { keepCentred(growth); },
                              [this] { return formPosition(); });
    m_window.Form.changed = [this] { mirrorForm(); };
    m_window.focusChanged = [this] { mirrorFocus(); };
    mirrorFocus();
}

ClientView::~ClientView()
{
    for (std::size_t i = 0; i < kClientControlCount; ++i)
        model(ClientControl(i)).changed = nullptr;
    m_window.Form.changed = nullptr;
    m_window.focusChanged = nullptr;
}

void ClientView::loadAndShow()
{
    m_frame->loadAndShow(m_window.Form, m_dpiX, m_dpiY, [this] { m_window.Form_Load(); });
    if (m_fill)
        watchFrameForFill();
}

ControlModel& ClientView::model(ClientControl c) const
{
    ClientWindow& w = m_window;
    using C = ClientControl;
    switch (c) {
    case C::Lbl_InMess: return w.Lbl_InMess;
    case C::Lbl_Time: return w.Lbl_Time;
    case C::Lbl_BlkTime: return w.Lbl_BlkTime;
    case C::Lbl_OldTime1: return w.Lbl_OldTime1;
    case C::Lbl_NowTime: return w.Lbl_NowTime;
    case C::Lbl_Lap: return w.Lbl_Lap;
    case C::Lbl_OldTime1Sa: return w.Lbl_OldTime1Sa;
    case C::Lbl_EndTime: return w.Lbl_EndTime;
    case C::Btn_HostIP: return w.Btn_HostIP;
    case C::Cmb_CarNo: return w.Cmb_CarNo;
    case C::Lbl_BestLap: return w.Lbl_BestLap;
    case C::Lbl_AveLap: return w.Lbl_AveLap;
    case C::Lbl_OutMess: return w.Lbl_OutMess;
    case C::Label1: return w.Label1;
    case C::Lbl_Link: return w.Lbl_Link;
    case C::Lbl_LocalIP: return w.Lbl_LocalIP;
    case C::Btn_Start: return w.Btn_Start;
    case C::Btn_End: return w.Btn_End;
    case C::Btn_MessChg: return w.Btn_MessChg;
    case C::Btn_EditMess: break;
    }
    return w.Btn_EditMess;
}

QRect ClientView::pxRect(int left, int top, int width, int height) const
{
    return Twips::toPxRect(left, top, width, height, m_dpiX * m_scale, m_dpiY * m_scale);
}

QFont ClientView::scaledFont(const LayoutFont& font) const
{
    QFont f = Appearance::toQFont(font);
    f.setPointSizeF(font.points * m_scale);
    return f;
}

QSize ClientView::clientPxSize() const
{
    return {Twips::toPx(m_layout.clientWidth, m_dpiX * m_scale), Twips::toPx(m_layout.clientHeight, m_dpiY * m_scale)};
}

void ClientView::buildLabel(ClientControl c)
{
    const ControlLayout& lay = m_layout[c];
    auto* label = new LargeTextLabel(this);
    label->setObjectName(QString::fromLatin1(clientControlName(c)));
    label->setTextFormat(Qt::PlainText);
    label->setDesignFont(scaledFont(lay.font));
    label->setAlignment(Appearance::labelAlignment(lay.alignment));
    // A caption too wide for its label is condensed to fit; a text of several lines still
    // breaks where the label would break it.
    label->setWordWrap(true);
    label->setMargin(0);
    label->setIndent(0);
    if (lay.border == Border::FixedSingle) {
        label->setFrameShape(QFrame::Box);
        label->setFrameShadow(QFrame::Plain);
        label->setLineWidth(1);
    }
    m_widgets[std::size_t(c)] = label;

    auto& m = static_cast<LabelModel&>(model(c));
    m.setLeft(lay.left);
    m.setTop(lay.top);
    m.changed = [this, c] { mirrorLabel(c); };
    mirrorLabel(c);
}

void ClientView::buildButton(ClientControl c, std::function<void()> handler)
{
    const ControlLayout& lay = m_layout[c];
    auto* button = new QPushButton(this);
    button->setObjectName(QString::fromLatin1(clientControlName(c)));
    button->setFont(scaledFont(lay.font));
    button->setAutoDefault(false);
    // Only the message button is reached by Tab; the others still take a click or setFocus().
    button->setFocusPolicy(c == ClientControl::Btn_MessChg ? Qt::StrongFocus : Qt::ClickFocus);
    QPalette p = button->palette();
    p.setColor(QPalette::Button, Appearance::toQColor(lay.backColor));
    // Active and inactive only: a disabled button keeps the greyed text of the palette.
    p.setColor(QPalette::Active, QPalette::ButtonText, Appearance::toQColor(lay.foreColor));
    p.setColor(QPalette::Inactive, QPalette::ButtonText, Appearance::toQColor(lay.foreColor));
    button->setPalette(p);
    button->setGeometry(pxRect(lay.left, lay.top, lay.width, lay.height));
    button->installEventFilter(this);
    connect(button, &QPushButton::clicked, this, [handler = std::move(handler)] {
        if (handler)
            handler();
    });
    m_widgets[std::size_t(c)] = button;

    model(c).changed = [this, c] { mirrorButton(c); };
    mirrorButton(c);
}

void ClientView::buildCombo(ClientControl c)
{
    const ControlLayout& lay = m_layout[c];
    auto* combo = new QComboBox(this);
    combo->setObjectName(QString::fromLatin1(clientControlName(c)));
    combo->setEditable(false);
    combo->setFont(scaledFont(lay.font));
    combo->setFocusPolicy(Qt::ClickFocus);
    // The closed box draws with the button roles; give it the window colours it is meant to have.
    const QColor fore = Appearance::toQColor(lay.foreColor);
    const QColor back = Appearance::toQColor(lay.backColor);
    QPalette p = combo->palette();
    p.setColor(QPalette::Button, back);
    p.setColor(QPalette::Base, back);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(g, QPalette::ButtonText, fore);
        p.setColor(g, QPalette::Text, fore);
        // A text that is not one of the items is shown as the placeholder: in the same colour.
        p.setColor(g, QPalette::PlaceholderText, fore);
    }
    combo->setPalette(p);
    combo->setGeometry(pxRect(lay.left, lay.top, lay.width, lay.height));
    combo->installEventFilter(this);
    auto& m = static_cast<ComboModel&>(model(c));
    connect(combo, &QComboBox::textActivated, this, [&m](const QString& text) { m.setText(text); });
    m_widgets[std::size_t(c)] = combo;

    m.changed = [this, c] { mirrorCombo(c); };
    mirrorCombo(c);
}

void ClientView::bindTimers()
{
    ClientWindow& w = m_window;
    new TimerBinding(w.Time_Jikan, [&w] { w.Time_Jikan_Timer(); }, this);
    new TimerBinding(w.Time_HostChk, [&w] { w.Time_HostChk_Timer(); }, this);
    new TimerBinding(w.Time_Chk, [&w] { w.Time_Chk_Timer(); }, this);
    new TimerBinding(w.Time_Blink, [&w] { w.Time_Blink_Timer(); }, this);
    new TimerBinding(w.Time_SendData, [&w] { w.Time_SendData_Timer(); }, this);
}

void ClientView::mirrorLabel(ClientControl c)
{
    const ControlLayout& lay = m_layout[c];
    const auto& m = static_cast<const LabelModel&>(model(c));
    auto* label = static_cast<LargeTextLabel*>(control(c));

    label->setCaption(Appearance::displayText(m.caption()));
    const QColor fore = m.foreColor().isValid() ? m.foreColor() : Appearance::toQColor(lay.foreColor);
    const QColor back = m.backColor().isValid() ? m.backColor() : Appearance::toQColor(lay.backColor);
    setColorIfDifferent(label, QPalette::WindowText, fore);
    if (back.isValid())
        setColorIfDifferent(label, QPalette::Window, back);
    label->setAutoFillBackground(back.isValid());
    const QRect r = pxRect(m.left(), m.top(), lay.width, lay.height);
    if (label->geometry() != r) {
        // A label of fixed size spares its parent a layout request on every new caption.
        label->setFixedSize(r.size());
        label->move(r.topLeft());
    }
    label->setHidden(!m.visible());
}

void ClientView::mirrorButton(ClientControl c)
{
    const auto& m = static_cast<const ButtonModel&>(model(c));
    auto* button = static_cast<QPushButton*>(control(c));
    button->setText(Appearance::displayText(m.caption()));
    button->setEnabled(m.enabled());
}

void ClientView::mirrorCombo(ClientControl c)
{
    const auto& m = static_cast<const ComboModel&>(model(c));
    auto* combo = static_cast<QComboBox*>(control(c));
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
    if (shown != m.items()) {
        combo->clear();
        combo->addItems(m.items());
    }
    // A drop-down list shows only its items; any other text goes in as the placeholder.
    const int index = m.text().isEmpty() ? -1 : int(m.items().indexOf(m.text()));
    combo->setPlaceholderText(index < 0 ? m.text() : QString());
    combo->setCurrentIndex(index);
    combo->setEnabled(m.enabled());
}

QPoint ClientView::formPosition() const
{
    QPoint at(Twips::toPx(m_window.Form.left(), m_dpiX), Twips::toPx(m_window.Form.top(), m_dpiY));
    // The behaviour centres the window across the screen at its top; a filling window that is
    // limited by the screen's width is centred down the screen as well.
    if (m_fill && screen())
        at.ry() += std::max(0, (screen()->availableGeometry().height() - height() - frameExtra().height()) / 2);
    return at;
}

void ClientView::mirrorForm()
{
    move(formPosition());
}

void ClientView::mirrorFocus()
{
    for (std::size_t i = 0; i < kClientControlCount; ++i) {
        if (&model(ClientControl(i)) == m_window.focus()) {
            m_widgets[i]->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

bool ClientView::eventFilter(QObject* watched, QEvent* event)
{
    // A click moves the focus too; the behaviour keeps track of where it rests.
    if (event->type() == QEvent::FocusIn) {
        for (std::size_t i = 0; i < kClientControlCount; ++i) {
            ControlModel& m = model(ClientControl(i));
            if (m_widgets[i] == watched && m_window.focus() != &m) {
                m_window.setFocus(m);
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ClientView::keepCentred(QSize frameGrowth)
{
    // The frame takes room from the screen that a filling layout must give up.
    if (m_fill) {
        if (!applyScale())
            centreAcross();
        return;
    }
    // The load centred the window on the outer width it could know; when the window manager
    // frames it later, the window moves by half the growth to stay centred, and is placed
    // again so that its frame, not its client area, stands at the top of the screen.
    m_window.Form.outerWidth = Twips::fromPx(frameGeometry().width(), m_dpiX);
    m_window.Form.outerHeight = Twips::fromPx(frameGeometry().height(), m_dpiY);
    const int shift = Twips::fromPx(frameGrowth.width(), m_dpiX) / 2;
    if (shift != 0)
        m_window.Form.move(m_window.Form.left() - shift, m_window.Form.top());
    else
        mirrorForm();
}

void ClientView::closeEvent(QCloseEvent* event)
{
    // The behaviour refuses every request; the program ends only through Btn_End.
    m_window.Form_QueryUnload();
    event->ignore();
}
