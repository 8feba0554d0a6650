#pragma once
// The few controls the wizard's pages and the device info window are made of: a page control
// whose tabs can be hidden, gradient sheets, picture buttons, pictures and text lines. They
// report their events through plain callbacks; the window wraps each in ui::guarded.

#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMovie;
class QTimer;
class QStackedWidget;
class QTabBar;

namespace corvana::widgets {

// The pointer shape is one application-wide setting (the override cursor). The arrow means
// "no override": every control then shows its own pointer again.
void SetScreenCursor(Qt::CursorShape shape);
Qt::CursorShape ScreenCursor();

// A page of the page control, painted with a top-to-bottom gradient. OnMouseMove runs when
// the pointer moves over the bare sheet, not over one of its controls.
class TAdvTabSheet : public QWidget {
public:
    TAdvTabSheet(const QString& name, QWidget* parent = nullptr);
    std::function<void(int X, int Y)> OnMouseMove;
    QColor GradientFrom{Qt::white};
    QColor GradientTo{166, 202, 240};

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override;
};

// Sheets in their stored order, each with a tab that can be hidden. The tab row shows the
// visible tabs only, without captions. Moving to the next page forward (Ctrl+Tab as well)
// goes round among the sheets with a visible tab.
class TAdvPageControl : public QWidget {
public:
    explicit TAdvPageControl(QWidget* parent = nullptr);

    void AddSheet(TAdvTabSheet* sheet);
    void SetTabVisible(TAdvTabSheet* sheet, bool visible);
    bool TabVisible(const TAdvTabSheet* sheet) const;
    // Shows `sheet`, whether or not its tab is visible.
    void SetActivePage(TAdvTabSheet* sheet);
    TAdvTabSheet* ActivePage() const { return active_; }
    void SelectNextPage(bool goForward);
    QTabBar* TabBar() const { return tabs_; }

private:
    void syncTabs();
    struct Entry {
        TAdvTabSheet* sheet;
        bool tabVisible;
    };
    std::vector<Entry> sheets_;
    TAdvTabSheet* active_ = nullptr;
    QTabBar* tabs_;
    QStackedWidget* stack_;
    bool syncing_ = false;
};

// A picture button: draws its picture at its top left corner, unscaled.
class TAdvPicture : public QWidget {
public:
    TAdvPicture(const QImage& picture, QWidget* parent);
    std::function<void()> OnClick;
    std::function<void(int X, int Y)> OnMouseMove;
    // What a click does, for keyboardless callers and tests.
    void Click();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QImage picture_;
    bool pressed_ = false;
};

// How often an animation looks whether its next frame is due.
inline constexpr int kAnimationTickMs = 20;

// A picture: a still image or a looping animation, drawn at its top left corner.
class TImage : public QWidget {
public:
    explicit TImage(QWidget* parent);
    ~TImage() override;
    // `name` says what it shows, for whoever needs to know ("pic6x.jpg", "built-in", ...).
    void SetPicture(const QImage& image, const std::string& name);
    void SetMovie(std::unique_ptr<QMovie> movie, const std::string& name);
    const std::string& PictureName() const { return name_; }
    bool Animated() const { return movie_ != nullptr; }
    QImage CurrentImage() const;
    // The animation's frame on show (-1 for a still image).
    int Frame() const;
    // Moves the animation on once its frame's time is up. The loop's timer calls it with
    // `paintNow` false; a long operation that holds the thread calls it from its waits with
    // `paintNow` true, since no loop will paint meanwhile. It only draws, it takes no input.
    void AdvanceAnimation(bool paintNow);

protected:
    void paintEvent(QPaintEvent*) override;
    // A picture nobody sees wakes nobody.
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    QImage image_;
    std::unique_ptr<QMovie> movie_;
    std::string name_;
    QTimer* ticker_;
    QElapsedTimer frameShown_;
};

// A transparent text line that sizes itself to its text.
class TLabel : public QLabel {
public:
    TLabel(QWidget* parent, int left, int top, const QColor& colour);
    void SetCaption(const std::string& text);
    std::string Caption() const { return text().toStdString(); }
};

} // namespace corvana::widgets
