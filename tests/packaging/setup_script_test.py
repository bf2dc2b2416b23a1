"""scripts/setup.sh as a user without root meets it: with sudo that is missing, refused or
permitted, and with apt-get that succeeds or fails. The commands it runs are stand-ins in a
folder that is the whole PATH, so nothing is installed and no real sudo is asked."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

SETUP = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "setup.sh"
REAL_TOOLS = ["env", "grep", "mktemp", "seq", "tail", "true"]

STUBS = {
    # Nothing is installed; the user is not root.
    "dpkg-query": "exit 1",
    "id": 'case "$1" in -u) echo 1000 ;; -un) echo tester ;; esac',
    "sudo refused": 'echo "Sorry, user tester may not run sudo on host." >&2; exit 1',
    "sudo permitted": 'while [ "${1#-}" != "$1" ]; do shift; done; exec "$@"',
    # A run of apt that installs every package it is given, and talks as much as apt does.
    "apt-get installs": ('for i in $(seq 200); do echo "Get:$i http://deb.debian.org"; done; '
                         '[ "$1" = install ] && shift 2 && '
                         'for p; do echo "Setting up $p ..."; done; exit 0'),
    "apt-get fails": ('[ "$1" = update ] && exit 0; echo "Reading package lists..."; '
                      'echo "E: Unable to locate package $3" >&2; exit 100'),
}


class SetupScriptTest(unittest.TestCase):
    def run_setup(self, sudo, apt_get):
        """(exit status, standard output, standard error) of `setup.sh build`."""
        with tempfile.TemporaryDirectory(prefix="korvane-setup-") as folder:
            tools = pathlib.Path(folder)
            for name in REAL_TOOLS:
                (tools / name).symlink_to(shutil.which(name))
            for name, stub in [("dpkg-query", STUBS["dpkg-query"]), ("id", STUBS["id"]),
                               ("sudo", sudo and STUBS[sudo]), ("apt-get", STUBS[apt_get])]:
                if stub:
                    (tools / name).write_text("#!/bin/sh\n" + stub + "\n")
                    (tools / name).chmod(0o755)
            done = subprocess.run(["/bin/bash", str(SETUP), "build"], stdin=subprocess.DEVNULL,
                                  capture_output=True, text=True, timeout=120,
                                  env={"PATH": folder, "TMPDIR": folder})
            return done.returncode, done.stdout, done.stderr

    def test_without_root_it_names_the_packages_and_the_command(self):
        for sudo, why in [(None, "sudo is not available"),
                          ("sudo refused", "sudo does not run commands for tester")]:
            with self.subTest(sudo=sudo):
                code, out, err = self.run_setup(sudo, "apt-get installs")
                self.assertEqual((code, out), (1, ""))
                self.assertIn(f"needs root, and {why}. As root, run:\n"
                              "  apt-get update && apt-get install cmake g++ ", err)

    def test_apt_output_stays_in_its_log(self):
        code, out, err = self.run_setup("sudo permitted", "apt-get installs")
        self.assertEqual((code, err), (0, ""))
        lines = out.splitlines()
        self.assertEqual(len(lines), 2, out)
        self.assertRegex(lines[0], r"^Installing 8 Debian packages with apt-get \(log: .*\): cmake")
        self.assertEqual(lines[1], "Installed: 8 packages, dependencies included.")

    def test_a_failing_apt_shows_the_end_of_its_log(self):
        code, out, err = self.run_setup("sudo permitted", "apt-get fails")
        self.assertEqual(code, 1)
        self.assertEqual(len(out.splitlines()), 1, out)
        self.assertIn("apt-get failed; the end of its log", err)
        self.assertTrue(err.endswith("Reading package lists...\n"
                                     "E: Unable to locate package cmake\n"), err)


if __name__ == "__main__":
    unittest.main()
