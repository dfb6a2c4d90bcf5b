#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""orca_check's reading of Orca's debug log, on lines saved from each Orca."""
import datetime
import pathlib
import sys
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, str(HERE))
import orca_check  # noqa: E402


def said_in(log_name):
    return orca_check.spoken((HERE / "orca_logs" / log_name).read_text())


class ReadsEachOrca(unittest.TestCase):
    def test_orca43_notification_on_two_lines(self):
        said = said_in("orca43.log")
        self.assertEqual([text for _, text, announced in said if announced],
                         ["Waiting for the Ventaro...\nThe update will start in a few moments."])
        # The dialog's own reading is speech, not an announcement.
        self.assertTrue(said[0][1].startswith("Waiting for the Ventaro... dialog"))
        self.assertFalse(said[0][2])
        self.assertEqual(said[1][0], datetime.datetime.strptime("07:02:48.495793", "%H:%M:%S.%f"))
        self.assertIn("alert Update successful.", [text for _, text, _ in said])

    def test_orca48_announcement_event_and_space_before_its_voice(self):
        said = said_in("orca48.log")
        self.assertEqual([text for _, text, announced in said if announced],
                         ["Waiting for the Ventaro...\nThe update will start in a few moments."])
        # Spoken while another event was handled: not an announcement.
        self.assertIn(("Please do not move, turn off, or disconnect the device.", False),
                      [(text, announced) for _, text, announced in said])
        self.assertIn("alert Update successful.", [text for _, text, _ in said])

    def test_a_quote_inside_the_text(self):
        log = "07:00:00.000001 - SPEECH OUTPUT: 'Besoin d'aide ? Cliquez sur Aide.' {'established': False}\n"
        self.assertEqual([text for _, text, _ in orca_check.spoken(log)], ["Besoin d'aide ? Cliquez sur Aide."])


if __name__ == "__main__":
    unittest.main()
