// SPDX-License-Identifier: MIT
#pragma once

class QObject;

namespace zal::main_queue {

// Lets Qt's event loop, nested modal loops included, run the main queue. Call on
// the main thread once the QCoreApplication exists; the thread becomes the main
// thread. The driver belongs to the application object; deleting it before
// (tests do) stops the driving, safely for threads that queue tasks meanwhile.
// A call while a driver lives returns that driver.
QObject* drive_with_qt();

}  // namespace zal::main_queue
