// SPDX-License-Identifier: MIT
#pragma once

// `history`: the runs recorded on this computer; `report`: a support report.

namespace zal::cli {

int history_command(int argc, char** argv);
int report_command(int argc, char** argv);

}  // namespace zal::cli
