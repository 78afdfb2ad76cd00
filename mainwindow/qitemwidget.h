#pragma once
#include <QFrame>

#include <memory>

class QListWidgetItem;
namespace Ui {
class qitemwidget;
}

// The picture of one background row, with the delete button that shows under the pointer.
class qitemwidget : public QFrame
{
    Q_OBJECT
public:
    qitemwidget(QListWidgetItem* item, QWidget* parent = nullptr);
    ~qitemwidget() override;

    // A play mark over the picture for video backgrounds.
    void setVideoMark(bool video);
    // Fixed rows (no background, blur) can never be deleted.
    void disableHover();
    void setPicture(const QPixmap& picture);
    bool deleteButtonVisible() const;

signals:
    void onDelete(QListWidgetItem* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void on_pushButton_pb_delete_clicked();

    std::unique_ptr<Ui::qitemwidget> ui;
    QListWidgetItem* item;
};
