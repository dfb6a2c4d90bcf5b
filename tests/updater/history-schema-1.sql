-- An update history as the first schema wrote it: a run that succeeded and a
-- run that never ended (its computer has been restarted since).
PRAGMA application_id = 1450464624;
PRAGMA user_version = 1;
CREATE TABLE runs (
 id INTEGER PRIMARY KEY,
 program TEXT NOT NULL,
 pid INTEGER NOT NULL,
 boot_id TEXT NOT NULL,
 started_ms INTEGER NOT NULL,
 ended_ms INTEGER,
 kind TEXT NOT NULL,
 usb_port TEXT NOT NULL DEFAULT '',
 found TEXT NOT NULL DEFAULT '',
 product TEXT NOT NULL DEFAULT '',
 version TEXT NOT NULL DEFAULT '',
 release_date TEXT NOT NULL DEFAULT '',
 package_sha256 TEXT NOT NULL DEFAULT '',
 signature TEXT NOT NULL DEFAULT '',
 signer TEXT NOT NULL DEFAULT '',
 outcome TEXT,
 failure TEXT NOT NULL DEFAULT '',
 message TEXT NOT NULL DEFAULT '',
 phase TEXT NOT NULL DEFAULT '',
 roundtrips INTEGER NOT NULL DEFAULT 0,
 log TEXT NOT NULL DEFAULT '');
INSERT INTO runs (program, pid, boot_id, started_ms, ended_ms, kind, usb_port, found, product, version,
  release_date, signature, outcome, phase, roundtrips, log)
  VALUES ('application', 4242, '0b5e6a52-0000-4000-8000-000000000001', 1796000000000, NULL, 'ventaro', '1-1.4',
  'running', 'Ventaro', '2.0.0', '2026-06-01', 'signed', NULL, 'programming-main-firmware', 300,
  '[1-1.4 Ventaro] Will execute 1554 HID roundtrips.
');
INSERT INTO runs (program, pid, boot_id, started_ms, ended_ms, kind, usb_port, found, product, version,
  release_date, signature, outcome, phase, roundtrips, log)
  VALUES ('cli', 4343, '0b5e6a52-0000-4000-8000-000000000002', 1796100000000, 1796100030000, 'ventaro', '1-1.4',
  'running', 'Ventaro', '2.1.0', '2026-12-01', 'signed', 'success', 'programming-main-firmware', 1554,
  '[1-1.4 Ventaro] Will execute 1554 HID roundtrips.
');
