#include "ui/open_view.h"

#include "layouts/open_layout.h"
#include "ui/appearance.h"
#include "ui/caption_fit.h"
#include "ui/timer_binding.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScreen>

OpenView::OpenView(PublicConst& pub, const ConfigFolder& files, IDialogs& dialogs,
                   std::function<void(ClientChoice)> showClient, QWidget* parent)
    : QWidget(parent),
      m_window(pub, OpenServices{files.path, [] { return Twips::screenSize(); },
                                 [this] {
                                     hide();
                                     deleteLater();
                                 },
                                 std::move(showClient), &dialogs, files.unwritable,
                                 files.prepared, files.apart})
{
    if (const QScreen* s = screen()) {
        m_dpiX = s->logicalDotsPerInchX();
        m_dpiY = s->logicalDotsPerInchY();
    }
    // A fixed frame without caption text and without the minimise and maximise buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint);
    QPalette p = Appearance::fixedPalette();
    p.setColor(QPalette::Window, Appearance::toQColor(Fm_Open.background));
    setPalette(p);
    setAutoFillBackground(true);
    setFont(Appearance::toQFont(LayoutFont{}));
    setFixedSize(Twips::toPx(Fm_Open.clientWidth, m_dpiX), Twips::toPx(Fm_Open.clientHeight, m_dpiY));

    for (std::size_t i = 0; i < m_labels.size(); ++i) {
        const OpenLabel& entry = Fm_Open.labels[i];
        const ControlLayout& lay = entry.layout;
        auto* label = new QLabel(QString::fromUtf8(entry.caption), this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        const QRect rect = Twips::toPxRect(lay.left, lay.top, lay.width, lay.height, m_dpiX, m_dpiY);
        label->setFont(CaptionFit::condensed(Appearance::toQFont(lay.font), label->text(), rect.width()));
        label->setAlignment(Appearance::labelAlignment(lay.alignment));
        label->setMargin(0);
        label->setIndent(0);
        QPalette lp = label->palette();
        lp.setColor(QPalette::WindowText, Appearance::toQColor(lay.foreColor));
        label->setPalette(lp);
        label->setGeometry(rect);
        m_labels[i] = label;
    }

    const auto formPosition = [this] {
        return QPoint(Twips::toPx(m_window.Form.left(), m_dpiX), Twips::toPx(m_window.Form.top(), m_dpiY));
    };
    m_window.Form.changed = [this, formPosition] { move(formPosition()); };
    m_frame = new WindowFrame(*this, [this](QSize growth) { keepCentred(growth); }, formPosition);
    m_timer1 = std::make_unique<TimerBinding>(m_window.Timer1, [this] { m_window.Timer1_Timer(); });
}

OpenView::~OpenView()
{
    m_timer1.reset();
    m_window.Form.changed = nullptr;
}

void OpenView::loadAndShow()
{
    m_frame->loadAndShow(m_window.Form, m_dpiX, m_dpiY, [this] { m_window.Form_Load(); });
}

void OpenView::keepCentred(QSize frameGrowth)
{
    // A frame added after the load would push the window off the centre the load gave it.
    m_window.Form.outerWidth = Twips::fromPx(frameGeometry().width(), m_dpiX);
    m_window.Form.outerHeight = Twips::fromPx(frameGeometry().height(), m_dpiY);
    m_window.Form.move(m_window.Form.left() - Twips::fromPx(frameGrowth.width(), m_dpiX) / 2,
                       m_window.Form.top() - Twips::fromPx(frameGrowth.height(), m_dpiY) / 2);
}

void OpenView::closeEvent(QCloseEvent* event)
{
    // The splash leaves only through its timer: closing it early would leave no window at all.
    event->ignore();
}
