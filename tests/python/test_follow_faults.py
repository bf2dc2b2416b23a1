"""follow when the file or the process changes under it: a file rewritten in place, a fork, a
file that is no plot file, and the error numbers of FollowError."""

import errno
import os
import pickle
import random
import threading
import time
import unittest

import korvane
from support import HANG, TempFiles, plot_text, random_plot

# How long a forked child may take before its read counts as hung: far beyond any slow machine.
CHILD_DEADLINE = HANG


def rows(blocks, value):
    return [[f"{value}.{block}", f"-{value}.{block}"] for block in range(blocks)]


def fd_position(path):
    """The read position of this process's one descriptor open on path, from /proc."""
    target = os.path.realpath(path)
    found = [fd for fd in os.listdir("/proc/self/fd")
             if os.path.realpath(f"/proc/self/fd/{fd}") == target]
    if len(found) != 1:
        raise AssertionError(f"{len(found)} descriptors open on {path}")
    with open(f"/proc/self/fdinfo/{found[0]}") as info:
        return int(info.readline().split()[1])


def wait_child(test, pid):
    """The child's exit status; the child is killed, and the test failed, once the deadline
    passes."""
    deadline = time.monotonic() + CHILD_DEADLINE
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.01)
    os.kill(pid, 9)
    os.waitpid(pid, 0)
    test.fail(f"the forked child did not finish within {CHILD_DEADLINE} s")


def in_child(work):
    """Runs work() in a forked child; the child's exit code is 0 when it returned True, 1 when it
    returned False, 2 when it raised. Returns the child's pid (in the parent)."""
    pid = os.fork()
    if pid == 0:
        code = 2
        try:
            code = 0 if work() else 1
        finally:
            os._exit(code)
    return pid


class FilesTestCase(unittest.TestCase):
    """A test case with a folder of files of its own."""

    def setUp(self):
        self.files = TempFiles()
        self.addCleanup(self.files.cleanup)


class RewrittenFileTest(FilesTestCase):
    def test_a_file_rewritten_in_place_ends_the_following(self):
        first = plot_text(rows(10, 1))
        longer = plot_text(rows(14, 1))
        # (what the file holds after the rewrite, whether it still holds what was read)
        cases = {
            "another run, longer": (plot_text(rows(14, 2)), False),
            "another run, the old end inside a line":
                (plot_text(rows(14, 1), names=["PRESSURE", "TEMPERATURE"]), False),
            "another title only": (longer.replace("TOLVERA", "TOLVARA"), False),
            "the last value read only": (longer.replace("-1.9", "-1.8"), False),
            "the same bytes, longer": (longer, True),
        }
        for case, (rewrite, same) in cases.items():
            with self.subTest(case=case):
                path = self.files.write(first, "rewritten.plt")
                run = korvane.follow(path)
                self.assertEqual(run.read().blocks, 10)
                with open(path, "w") as out:
                    out.write(rewrite)
                if same:
                    self.assertEqual(run.read()[0], korvane.read_plot(path)[0][10:])
                    continue
                with self.assertRaisesRegex(korvane.FollowError, "rewritten") as caught:
                    run.read()
                self.assertEqual((caught.exception.errno, caught.exception.filename),
                                 (errno.ESTALE, path))
                self.assertTrue(run.closed)


class ForkTest(FilesTestCase):
    def setUp(self):
        super().setUp()
        self.path = self.files.write(random_plot(random.Random(7), 23, 3000), "forked.plt")
        self.whole = korvane.read_plot(self.path)

    def test_reads_leave_the_shared_file_position_alone(self):
        # A forked child shares the descriptor's position: a read that moved it would move the
        # other process's read too.
        with korvane.follow(self.path) as run:
            self.assertEqual(run.read(), self.whole)
            self.assertEqual(fd_position(self.path), 0)

    def test_parent_and_child_read_at_once(self):
        start_reader, start_writer = os.pipe()
        with korvane.follow(self.path) as run:
            def child_reads():
                os.close(start_writer)
                os.read(start_reader, 1)
                return run.read() == self.whole

            pid = in_child(child_reads)
            os.close(start_reader)
            os.write(start_writer, b"x")
            os.close(start_writer)
            self.assertEqual(run.read(), self.whole)
            self.assertEqual(wait_child(self, pid), 0)

    def test_a_fork_while_another_thread_reads(self):
        inside, go = threading.Event(), threading.Event()
        make_plot = vars(korvane.Plot)["_of_reader"]
        made = korvane.Plot._of_reader

        def held_plot(*arguments):
            # read() makes the Plot while it holds the follower: the fork happens then.
            inside.set()
            go.wait(HANG)
            return made(*arguments)

        run = korvane.follow(self.path)
        self.addCleanup(run.close)
        korvane.Plot._of_reader = held_plot
        try:
            reader = threading.Thread(target=run.read)
            reader.start()
            self.assertTrue(inside.wait(HANG), "read() never made its Plot")

            def child_reads():
                try:
                    run.read()
                except korvane.FollowError as error:
                    return error.errno == errno.ESTALE and "forked" in str(error) and run.closed
                return False

            pid = in_child(child_reads)
        finally:
            go.set()
            korvane.Plot._of_reader = make_plot
        reader.join()
        self.assertEqual(wait_child(self, pid), 0)
        self.assertEqual(run.blocks, self.whole.blocks)


class ErrorsTest(FilesTestCase):
    def test_follow_errors_carry_an_error_number(self):
        def shrink(path):
            os.truncate(path, 20)

        def replace(path):
            os.replace(self.files.write(plot_text(rows(9, 3)), "new.plt"), path)

        def remove(path):
            os.remove(path)

        for change, number in [(shrink, errno.ESTALE), (replace, errno.ESTALE),
                               (remove, errno.ENOENT)]:
            with self.subTest(change=change.__name__):
                path = self.files.write(plot_text(rows(3, 1)), "changed.plt")
                run = korvane.follow(path)
                run.read()
                change(path)
                with self.assertRaises(korvane.FollowError) as caught:
                    run.read()
                self.check_error(caught.exception, number, path)
        fifo = self.files.path("plot.fifo")
        os.mkfifo(fifo)
        with self.assertRaises(korvane.FollowError) as caught:
            korvane.follow(fifo)
        self.check_error(caught.exception, errno.ESPIPE, fifo)

    def check_error(self, error, number, path):
        self.assertEqual((error.errno, error.strerror, error.filename),
                         (number, os.strerror(number), path))
        copy = pickle.loads(pickle.dumps(error))
        self.assertEqual((str(copy), copy.errno, copy.filename), (str(error), number, path))

    def test_a_head_that_is_no_plot_head_raises_as_read_plot_does(self):
        not_plots = {
            "a file of the kernel, of size 0": "/proc/self/status",
            "a text file": self.files.write("Name:\tpython3\nUmask:\t0022\n", "status.txt"),
            "a name line that is not UTF-8": self.files.write(b" T 1\n \xff\n", "names.plt"),
        }
        for case, path in not_plots.items():
            with self.subTest(case=case):
                with self.assertRaises(korvane.PlotFormatError) as whole:
                    korvane.read_plot(path)
                run = korvane.follow(path)
                with self.assertRaises(korvane.PlotFormatError) as caught:
                    run.read()
                self.assertEqual(caught.exception.args, whole.exception.args)
                self.assertTrue(run.closed)

    def test_a_head_still_being_written_waits(self):
        text = plot_text(rows(2, 1))
        path = self.files.write("", "new.plt")
        with korvane.follow(path) as run:
            for cut in [0, 5, text.index("\n") + 1, text.index("TIME")]:
                with open(path, "w") as out:
                    out.write(text[:cut])
                self.assertEqual(run.read().blocks, 0)
            with open(path, "w") as out:
                out.write(text)
            self.assertEqual(run.read(), korvane.read_plot(path))


class NothingNewTest(FilesTestCase):
    def test_a_read_that_finds_nothing_new_has_the_names_known_then(self):
        text = plot_text(rows(2, 1))
        head = text[:text.index("TIME")]
        known = korvane.read_plot(self.files.write(text, "whole.plt"))
        path = self.files.write("", "new.plt")
        for keep in [False, True]:
            with self.subTest(block_headers=keep), korvane.follow(path, block_headers=keep) as run:
                for grown, expected in [(head[:-3], ("", ())), (head, (known.title, known.names)),
                                        (text, (known.title, known.names))]:
                    with open(path, "w") as out:
                        out.write(grown)
                    run.read()
                    for plot in [run.read(), run.read()]:
                        self.assertEqual((plot.title, plot.names), expected)
                        self.assertEqual([(len(column), column.typecode) for column in plot],
                                         [(0, "f")] * len(expected[1]))
                        self.assertEqual((plot.blocks, plot.block_headers),
                                         (0, [] if keep else None))

if __name__ == "__main__":
    unittest.main()
