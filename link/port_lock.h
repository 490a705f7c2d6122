#pragma once
// One operation on the port at a time. The port, the request fields and ReplyBuffer are shared,
// and every wait lets window events run, so a timer tick or a button could otherwise start a
// second exchange in the middle of the first. Operations (download, front-panel poll, dial,
// hang-up) take the port for their whole run; each transaction additionally takes the
// transaction slot, so two transactions never interleave even when called directly.

#include <QString>
#include <functional>

namespace tavrel {

class PortLock {
  public:
    bool operationBusy() const { return !operation_.isEmpty(); }
    bool transactionBusy() const { return transaction_; }
    QString operation() const { return operation_; }
    // A hang-up cut into the running operation: the port stays shut for it (every further
    // transaction fails at once as a lost port) until it ends and releases the port.
    void cancelOperation() { cancelled_ = operationBusy(); }
    bool operationCancelled() const { return cancelled_; }
    // Told whenever an operation takes or releases the port (the window greys its buttons).
    std::function<void()> onChange;

  private:
    void changed() const {
        if (onChange) onChange();
    }
    friend class OperationGuard;
    friend class TransactionGuard;
    QString operation_;
    bool transaction_ = false;
    bool cancelled_ = false;
};

// Takes the port for a named operation; owns() is false when another operation holds it.
class OperationGuard {
  public:
    OperationGuard(PortLock& lock, const QString& name) : lock_(lock) {
        if (!lock_.operationBusy()) {
            lock_.operation_ = name;
            owns_ = true;
            lock_.changed();
        }
    }
    ~OperationGuard() {
        if (owns_) {
            lock_.operation_.clear();
            lock_.cancelled_ = false;
            lock_.changed();
        }
    }
    OperationGuard(const OperationGuard&) = delete;
    OperationGuard& operator=(const OperationGuard&) = delete;
    bool owns() const { return owns_; }

  private:
    PortLock& lock_;
    bool owns_ = false;
};

class TransactionGuard {
  public:
    explicit TransactionGuard(PortLock& lock) : lock_(lock) {
        if (!lock_.transaction_) {
            lock_.transaction_ = true;
            owns_ = true;
        }
    }
    ~TransactionGuard() {
        if (owns_) lock_.transaction_ = false;
    }
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;
    bool owns() const { return owns_; }

  private:
    PortLock& lock_;
    bool owns_ = false;
};

}  // namespace tavrel
