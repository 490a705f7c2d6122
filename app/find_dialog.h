#pragma once
// "Find the instrument…" from the settings tab's context menu: a small window that searches the
// ports at every speed and slave ID (find/finder.h), shows its progress and what answered, and
// with "Use" sets the port, speed and slave ID through the settings widgets' own handlers.

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>

#include "finder.h"

class QLabel;
class QListWidget;
class QPushButton;
class QThread;

namespace tavrel {

class FindDialog final : public QDialog {
    Q_OBJECT
  public:
    // `use` applies a meter found; `ports` are the ports to search.
    FindDialog(QWidget* parent, QList<find::Candidate> ports,
               std::function<void(const find::Hit&)> use);
    ~FindDialog() override;
    void start();
    bool running() const { return thread_ != nullptr; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void probing(const QString& port, int baud, int slave);
    void found(const find::Hit& hit);
    void finished();

    QList<find::Candidate> ports_;
    std::function<void(const find::Hit&)> use_;
    QLabel* progress_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* useButton_ = nullptr;
    QList<find::Hit> meters_;
    find::Finder finder_;
    std::atomic<bool> stop_{false};
    QThread* thread_ = nullptr;
};

}  // namespace tavrel
