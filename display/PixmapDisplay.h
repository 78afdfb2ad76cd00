#pragma once
#include <QPixmap>
#include <QWidget>

#include <memory>

// Shows the last frame given to it, scaled into the widget over black: whole (contain, the
// preview) or filling the widget and cropped (cover, the background thumbnails).
// setPixmap runs on the GUI thread; the engine waits for it through a blocking connection, so
// the frame's pixels may be reused by the engine as soon as it returns.
class PixmapDisplay : public QWidget
{
    Q_OBJECT
public:
    explicit PixmapDisplay(QWidget* parent = nullptr);
    ~PixmapDisplay() override;

    void setFit(bool inside);
    bool fitsInside() const { return m_fitInside; }
    // The rectangle the pixmap is drawn into for a widget of the given size (may exceed it in
    // cover mode; the painter clips).
    static QRect drawRect(const QSize& widget, const QSize& pixmap, bool fitInside);

public slots:
    void setPixmap(const QPixmap& pix);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<QPixmap> m_pixmap;
    bool m_fitInside = true;
};
