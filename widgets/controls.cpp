#include "widgets/controls.h"

#include <QGuiApplication>
#include <QKeySequence>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace corvana::widgets {

namespace {
bool overridden = false; // whether the override cursor on the stack is ours
} // namespace

void SetScreenCursor(Qt::CursorShape shape) {
    if (shape == Qt::ArrowCursor) {
        if (overridden)
            QGuiApplication::restoreOverrideCursor();
        overridden = false;
        return;
    }
    if (overridden) {
        QGuiApplication::changeOverrideCursor(QCursor(shape));
    } else {
        QGuiApplication::setOverrideCursor(QCursor(shape));
        overridden = true;
    }
}

Qt::CursorShape ScreenCursor() {
    const QCursor* c = QGuiApplication::overrideCursor();
    return overridden && c ? c->shape() : Qt::ArrowCursor;
}

TAdvTabSheet::TAdvTabSheet(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(name);
    setMouseTracking(true);
}

void TAdvTabSheet::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, GradientFrom);
    g.setColorAt(1, GradientTo);
    p.fillRect(rect(), g);
}

void TAdvTabSheet::mouseMoveEvent(QMouseEvent* e) {
    // Moves over a child arrive here only when the child lets them through; ours do not.
    if (childAt(e->position().toPoint()) == nullptr && OnMouseMove)
        OnMouseMove(e->position().toPoint().x(), e->position().toPoint().y());
    e->accept();
}

TAdvPageControl::TAdvPageControl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs_ = new QTabBar(this);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(true);
    tabs_->setFocusPolicy(Qt::NoFocus);
    tabs_->setStyleSheet(QStringLiteral("QTabBar::tab { min-width: 64px; min-height: 14px; }"));
    stack_ = new QStackedWidget(this);
    layout->addWidget(tabs_);
    layout->addWidget(stack_, 1);
    QObject::connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (syncing_ || index < 0)
            return;
        int seen = 0;
        for (auto& e : sheets_)
            if (e.tabVisible && seen++ == index) {
                SetActivePage(e.sheet);
                return;
            }
    });
    // Ctrl+Tab and Ctrl+Shift+Tab anywhere in the window move among the visible tabs.
    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this);
    next->setContext(Qt::WindowShortcut);
    QObject::connect(next, &QShortcut::activated, this, [this] { SelectNextPage(true); });
    auto* prev = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this);
    prev->setContext(Qt::WindowShortcut);
    QObject::connect(prev, &QShortcut::activated, this, [this] { SelectNextPage(false); });
    auto* prev2 = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Backtab), this);
    prev2->setContext(Qt::WindowShortcut);
    QObject::connect(prev2, &QShortcut::activated, this, [this] { SelectNextPage(false); });
}

void TAdvPageControl::AddSheet(TAdvTabSheet* sheet) {
    sheets_.push_back({sheet, true});
    stack_->addWidget(sheet);
    if (!active_)
        active_ = sheet;
    syncTabs();
}

void TAdvPageControl::SetTabVisible(TAdvTabSheet* sheet, bool visible) {
    for (auto& e : sheets_)
        if (e.sheet == sheet && e.tabVisible != visible) {
            e.tabVisible = visible;
            syncTabs();
        }
}

bool TAdvPageControl::TabVisible(const TAdvTabSheet* sheet) const {
    for (const auto& e : sheets_)
        if (e.sheet == sheet)
            return e.tabVisible;
    return false;
}

void TAdvPageControl::SetActivePage(TAdvTabSheet* sheet) {
    active_ = sheet;
    stack_->setCurrentWidget(sheet);
    syncTabs();
}

void TAdvPageControl::SelectNextPage(bool goForward) {
    const int n = static_cast<int>(sheets_.size());
    int at = 0;
    for (int i = 0; i < n; ++i)
        if (sheets_[i].sheet == active_)
            at = i;
    for (int step = 1; step <= n; ++step) {
        const int i = ((goForward ? at + step : at - step) % n + n) % n;
        if (sheets_[i].tabVisible) {
            SetActivePage(sheets_[i].sheet);
            return;
        }
    }
}

// The tab row shows one caption-less tab per visible tab, the active sheet's selected.
void TAdvPageControl::syncTabs() {
    syncing_ = true;
    int visible = 0, current = -1;
    for (const auto& e : sheets_)
        if (e.tabVisible) {
            if (e.sheet == active_)
                current = visible;
            ++visible;
        }
    while (tabs_->count() > visible)
        tabs_->removeTab(tabs_->count() - 1);
    while (tabs_->count() < visible)
        tabs_->addTab(QString());
    if (current >= 0)
        tabs_->setCurrentIndex(current);
    syncing_ = false;
}

TAdvPicture::TAdvPicture(const QImage& picture, QWidget* parent)
    : QWidget(parent), picture_(picture) {
    setMouseTracking(true);
}

void TAdvPicture::Click() {
    if (OnClick)
        OnClick();
}

void TAdvPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void TAdvPicture::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    e->accept();
}

void TAdvPicture::mouseReleaseEvent(QMouseEvent* e) {
    const bool click =
        pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    e->accept();
    if (click)
        Click();
}

void TAdvPicture::mouseMoveEvent(QMouseEvent* e) {
    e->accept();
    if (OnMouseMove)
        OnMouseMove(e->position().toPoint().x(), e->position().toPoint().y());
}

TImage::TImage(QWidget* parent) : QWidget(parent), ticker_(new QTimer(this)) {
    setAttribute(Qt::WA_NoMousePropagation);
    QObject::connect(ticker_, &QTimer::timeout, this, [this] { AdvanceAnimation(false); });
}

TImage::~TImage() = default;

void TImage::SetPicture(const QImage& image, const std::string& name) {
    ticker_->stop();
    movie_.reset();
    image_ = image;
    name_ = name;
    update();
}

// The movie is not started: its own timer would move it only while the loop runs, and
// beside the waits' ticks it would move it twice. One clock, frameShown_, times both.
void TImage::SetMovie(std::unique_ptr<QMovie> movie, const std::string& name) {
    image_ = QImage();
    movie_ = std::move(movie);
    name_ = name;
    movie_->jumpToFrame(0);
    frameShown_.start();
    if (isVisible())
        ticker_->start(kAnimationTickMs);
    update();
}

void TImage::showEvent(QShowEvent*) {
    if (movie_)
        ticker_->start(kAnimationTickMs);
}

void TImage::hideEvent(QHideEvent*) {
    ticker_->stop();
}

int TImage::Frame() const {
    return movie_ ? movie_->currentFrameNumber() : -1;
}

void TImage::AdvanceAnimation(bool paintNow) {
    if (!movie_ || movie_->frameCount() < 2)
        return;
    const int delay = movie_->nextFrameDelay() > 0 ? movie_->nextFrameDelay() : 100;
    if (frameShown_.elapsed() < delay)
        return;
    if (!movie_->jumpToNextFrame())
        movie_->jumpToFrame(0);
    frameShown_.restart();
    if (paintNow && isVisible())
        repaint();
    else
        update();
}

QImage TImage::CurrentImage() const {
    return movie_ ? movie_->currentImage() : image_;
}

void TImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, CurrentImage());
}

TLabel::TLabel(QWidget* parent, int left, int top, const QColor& colour) : QLabel(parent) {
    setAttribute(Qt::WA_NoMousePropagation);
    setAutoFillBackground(false);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    f.setBold(true);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, colour);
    setPalette(pal);
    setTextFormat(Qt::PlainText);
    move(left, top);
    resize(0, 0);
}

void TLabel::SetCaption(const std::string& text) {
    setText(QString::fromStdString(text));
    adjustSize();
}

} // namespace corvana::widgets
