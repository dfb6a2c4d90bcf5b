// SPDX-License-Identifier: MIT
#pragma once

// What screen readers see of the release notes: read-only text whose links are
// children of their own, each a link with a "press" action that opens it
// through the notes' own rule (web and mail only). Qt's own interface for text
// views shows the text without its links.

class QTextBrowser;

// Makes `notes` show its links to assistive technologies; call before it is
// first queried.
void expose_note_links(QTextBrowser* notes);
