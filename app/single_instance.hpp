// SPDX-License-Identifier: MIT
#pragma once

// One running instance per user: a later launch hands its path to the first one
// and leaves, so that opening a package from the file manager reaches the
// window that is already there.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace zal::gui {

// The folder of this user's own where the lock and the socket live:
// $XDG_RUNTIME_DIR when it is an absolute path to a folder of the user's that
// no one else may enter; otherwise <temporary folder>/ventaro-update-<uid>,
// made with mode 0700, or taken when it already is such a folder (never
// through a symbolic link). Empty when neither can be had.
QString privateRuntimeFolder();

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // Instances with the same name are one application.
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first, which then hears later launches;
    // false when `path` (possibly empty) was handed to the first. Without a
    // private folder every launch is a first that hears none.
    bool claim(const QString& path);

    // Where the socket is (empty without a private folder).
    QString socketPath() const;

    // For the first instance: whether it takes a path now (it refuses one
    // during an update). A later launch is told, and says so.
    void setAcceptsPaths(std::function<bool()> accepts);

    // too_long: a path no file URL line can carry, which is not sent.
    enum class handover_t { none, taken, refused, too_long };
    // For a later instance, after `claim` returned false: what became of its path.
    handover_t handover() const;

signals:
    // A later launch asked for this path; empty when it named none, or when
    // the path was refused.
    void launched(const QString& path);

private:
    class Private;
    std::unique_ptr<Private> d;
};

}  // namespace zal::gui
