#include "splashdlg.h"

#include "resource.h"
#include "resources.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

CSplashDlg::CSplashDlg()
    : QDialog(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_pBorder(new QFrame(this))
    , m_pVersion(new QLabel(m_pBorder))
    , m_pNotice(new QLabel(m_pBorder))
    , m_pRule(new QFrame(m_pBorder))
    , m_pText(new QLabel(m_pBorder))
    , m_btnIcon(m_pBorder)
{
    // A leftover splash must neither keep the program running after the main
    // window closes nor take the keyboard away from it.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);

    m_pBorder->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_pBorder->setLineWidth(1);

    m_btnIcon.setObjectName(QStringLiteral("iconButton"));
    m_pVersion->setObjectName(QStringLiteral("versionLine"));
    m_pNotice->setObjectName(QStringLiteral("notice"));
    m_pRule->setObjectName(QStringLiteral("rule"));
    m_pText->setObjectName(QStringLiteral("text"));

    QFont versionFont = m_pVersion->font();
    versionFont.setBold(true);
    m_pVersion->setFont(versionFont);
    m_pVersion->setTextFormat(Qt::PlainText);

    m_pNotice->setTextFormat(Qt::PlainText);

    m_pRule->setFrameStyle(QFrame::HLine | QFrame::Plain);
    m_pRule->setLineWidth(1);
    m_pRule->setFixedHeight(1);
    QPalette rulePalette = m_pRule->palette();
    rulePalette.setColor(QPalette::WindowText, Qt::black);
    m_pRule->setPalette(rulePalette);

    m_pText->setTextFormat(Qt::PlainText);
    m_pText->setWordWrap(true);
    m_pText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pText->setFixedWidth(m_pText->fontMetrics().averageCharWidth() * 52);

    auto* headingColumn = new QVBoxLayout;
    headingColumn->addWidget(m_pVersion);
    headingColumn->addWidget(m_pNotice);
    headingColumn->addStretch();

    auto* heading = new QHBoxLayout;
    heading->setSpacing(12);
    heading->addWidget(&m_btnIcon, 0, Qt::AlignLeft | Qt::AlignTop);
    heading->addLayout(headingColumn, 1);

    auto* content = new QVBoxLayout(m_pBorder);
    content->setContentsMargins(10, 10, 10, 12);
    content->setSpacing(8);
    content->addLayout(heading);
    content->addWidget(m_pRule);
    content->addWidget(m_pText);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->addWidget(m_pBorder);
}

bool CSplashDlg::Create(QWidget* pOwner)
{
    if (IsWindowUp())
        return true;

    m_pOwner = pOwner;
    create();
    if (!IsWindowUp())
        return false;

    if (pOwner && pOwner->window()->windowHandle() && windowHandle())
        windowHandle()->setTransientParent(pOwner->window()->windowHandle());

    // Read now rather than at construction, so the texts follow a resource
    // language chosen after the application object was built.
    m_pNotice->setText(AfxLoadString(IDS_SPLASH_NOTICE));
    m_pText->setText(AfxLoadString(IDS_SPLASH_TEXT));

    return OnInitDialog();
}

bool CSplashDlg::OnInitDialog()
{
    m_pVersion->setText(QStringLiteral("Zorbel Version " ZORBEL_VERSION));
    // The button's natural size is its fitted size, so centring before the fit
    // already uses the final dialog size.
    CenterWindow();
    m_btnIcon.FitToIcon();
    return true;
}

void CSplashDlg::CenterWindow()
{
    layout()->activate();
    adjustSize();

    const QWidget* owner = m_pOwner ? m_pOwner->window() : nullptr;
    if (owner && (!owner->isVisible() || owner->isMinimized()))
        owner = nullptr;

    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect workArea = screen ? screen->availableGeometry() : QRect();

    QRect placed(QPoint(0, 0), frameGeometry().size());
    placed.moveCenter(owner ? owner->frameGeometry().center() : workArea.center());

    // Like the owner, the splash may not leave the work area.
    if (workArea.isValid()) {
        if (placed.right() > workArea.right())
            placed.moveRight(workArea.right());
        if (placed.bottom() > workArea.bottom())
            placed.moveBottom(workArea.bottom());
        if (placed.left() < workArea.left())
            placed.moveLeft(workArea.left());
        if (placed.top() < workArea.top())
            placed.moveTop(workArea.top());
    }
    move(placed.topLeft());
}

void CSplashDlg::DestroyWindow()
{
    if (!IsWindowUp())
        return;
    hide();
    destroy();
}

bool CSplashDlg::IsWindowUp() const
{
    return testAttribute(Qt::WA_WState_Created);
}
