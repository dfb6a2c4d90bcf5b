// SPDX-License-Identifier: MIT
#pragma once

namespace zal::main_queue {

// Lets Qt's event loop, nested modal loops included, run the main queue. Call on
// the main thread once the QCoreApplication exists; the thread becomes the main
// thread.
void drive_with_qt();

}  // namespace zal::main_queue
