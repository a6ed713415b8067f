#!/usr/bin/python3
"""Tests of the test harness's own scripts: the quiet watch (scripts/quiet-watch.py) ends a
program that stops printing and names the test it was in, and otherwise passes output and
exit code through; the i386 probe (scripts/i386-mode.sh) can be overridden."""
import os
import subprocess
import sys
import time
import unittest

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
WATCH = os.path.join(SCRIPTS, "quiet-watch.py")


def watch(script, limit="2"):
    env = dict(os.environ, FRAMEWISE_QUIET_LIMIT=limit)
    env.pop("WINEPREFIX", None)
    start = time.monotonic()
    done = subprocess.run([sys.executable, WATCH, "bash", "-c", script], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    return done.returncode, done.stdout.decode(), time.monotonic() - start


class QuietWatchTest(unittest.TestCase):
    def test_a_quiet_program_is_ended_as_a_hang_naming_the_running_test(self):
        code, out, took = watch('echo "[ RUN      ] Suite.Hangs"; sleep 30; echo late')
        self.assertEqual(code, 124)
        self.assertIn("running test: Suite.Hangs", out)
        self.assertNotIn("late", out)
        self.assertLess(took, 20)

    def test_a_hang_after_a_finished_test_names_the_one_before(self):
        code, out, _ = watch('echo "[ RUN      ] A.one"; echo "[       OK ] A.one (1 ms)"; sleep 30')
        self.assertEqual(code, 124)
        self.assertIn("between tests, after A.one", out)

    def test_the_whole_process_group_is_ended(self):
        marker = "/tmp/quiet-watch-test-%d" % os.getpid()
        code, _, _ = watch('(sleep 5; touch %s) & sleep 30' % marker)
        self.assertEqual(code, 124)
        time.sleep(6)
        self.assertFalse(os.path.exists(marker))

    def test_output_just_inside_the_limit_keeps_the_program_alive(self):
        code, out, _ = watch('for i in 1 2 3; do echo tick; sleep 1; done; exit 5', limit="3")
        self.assertEqual(code, 5)
        self.assertEqual(out.count("tick"), 3)
        self.assertNotIn("hang", out)

    def test_exit_codes_and_signals_pass_through(self):
        self.assertEqual(watch("exit 0")[0], 0)
        self.assertEqual(watch("exit 3")[0], 3)
        self.assertEqual(watch("kill -KILL $$")[0], 137)

    def test_a_helper_left_holding_the_output_does_not_keep_the_watch(self):
        code, _, took = watch("(sleep 30) & exit 0", limit="60")
        self.assertEqual(code, 0)
        self.assertLess(took, 10)


class I386ModeTest(unittest.TestCase):
    def mode(self, **env):
        full = dict(os.environ)
        full.pop("FRAMEWISE_I386_MODE", None)
        full.update(env)
        return subprocess.run(["bash", os.path.join(SCRIPTS, "i386-mode.sh")], env=full,
                              stdout=subprocess.PIPE, timeout=30).stdout.decode().strip()

    def test_the_override_wins(self):
        self.assertEqual(self.mode(FRAMEWISE_I386_MODE="qemu"), "qemu")
        self.assertEqual(self.mode(FRAMEWISE_I386_MODE="native"), "native")


if __name__ == "__main__":
    unittest.main()
