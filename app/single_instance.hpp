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

class SingleInstance : public QObject {
    Q_OBJECT

public:
    // Instances with the same name are one application.
    explicit SingleInstance(const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first, which then hears later launches;
    // false when `path` (possibly empty) was handed to the first.
    bool claim(const QString& path);

    // For the first instance: whether it takes a path now (it refuses one
    // during an update). A later launch is told, and says so.
    void setAcceptsPaths(std::function<bool()> accepts);

    enum class handover_t { none, taken, refused };
    // For a later instance, after `claim` returned false: what became of its path.
    handover_t handover() const;

signals:
    // A later launch asked for this path; empty when it named none.
    void launched(const QString& path);

private:
    class Private;
    std::unique_ptr<Private> d;
};

}  // namespace zal::gui
