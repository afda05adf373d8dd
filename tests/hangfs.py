#!/usr/bin/python3
"""A folder that stops answering, for the tests: a FUSE file system that mirrors a real folder
and, while a control file exists (outside the mount), makes every call on it wait until the file
is gone again, as a network folder whose server has gone does. As on such a folder (NFS mounted
hard), a caller that is killed stops waiting: a process that ends is not held by the folder.

    hangfs.py [--uncached] [--die-with-parent] [--cut MARKER] MIRROR MOUNTPOINT CONTROL [LOG]

Runs in the foreground until unmounted (fusermount3 -u -z MOUNTPOINT). LOG, when given, gets a
line "waiting <call> <path>" for each call that began to wait, so a test knows a reader is stuck.
--uncached keeps the kernel from answering from what it learnt of names and attributes, so that
no call gets through while the folder hangs. --die-with-parent ends this script when the process
that started it ends, so a test that dies leaves no folder waiting behind.

--cut MARKER is a power cut: at the first call after the file MARKER appears, the mirror is
frozen as it stands. From then on every call goes to a copy of it taken at that moment (the
folder MARKER.after), files already open included, so the program goes on without an error while
nothing it writes reaches the mirror any more. Calls in flight at that moment may land on either
side, as at a real cut.
"""

import argparse
import ctypes
import errno
import os
import shutil
import signal
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations, fuse_get_context

SIGKILL_BIT = 1 << 8  # SIGKILL is signal 9
PF_EXITING = 0x4


def killed(tid):
    """Whether the calling thread is being killed (SIGKILL pending), is ending (closing the
    process's files on its way out), or is gone."""
    try:
        with open("/proc/%d/stat" % tid) as stat:
            flags = int(stat.read().rsplit(")", 1)[1].split()[6])
        if flags & PF_EXITING:
            return True
        with open("/proc/%d/status" % tid) as status:
            for line in status:
                if line.startswith(("SigPnd:", "ShdPnd:")) and \
                        int(line.split()[1], 16) & SIGKILL_BIT:
                    return True
    except (OSError, IndexError, ValueError):
        return True
    return False


class HangFs(Operations):
    def __init__(self, mirror, control, log, cut=None):
        self.mirror = os.path.realpath(mirror)
        self.control = control
        self.log = log
        self.log_lock = threading.Lock()
        self.cut = cut
        self.cut_lock = threading.Lock()
        self.frozen = False
        self.open_files = {}  # file handle: (path, flags), for the cut to move them over

    def __call__(self, op, path, *args):
        if os.path.exists(self.control):
            self.said("waiting %s %s" % (op, path))
            tid = fuse_get_context()[2]
            while os.path.exists(self.control):
                if killed(tid):
                    raise FuseOSError(errno.EINTR)
                time.sleep(0.05)
        if self.cut and not self.frozen and os.path.exists(self.cut):
            self.cut_now()
        return super().__call__(op, path, *args)

    def cut_now(self):
        """Freezes the mirror: every later call goes to a copy of it, open files too."""
        with self.cut_lock:
            if self.frozen:
                return
            after = os.path.realpath(self.cut + ".after")
            shutil.copytree(self.mirror, after, symlinks=True)
            for fh, (path, flags) in list(self.open_files.items()):
                moved = os.open(os.path.join(after, path.lstrip("/")),
                                flags & ~(os.O_CREAT | os.O_EXCL | os.O_TRUNC))
                os.dup2(moved, fh)
                os.close(moved)
            self.mirror = after
            self.frozen = True
            self.said("cut")

    def said(self, line):
        if not self.log:
            return
        with self.log_lock, open(self.log, "a") as out:
            out.write(line + "\n")

    def real(self, path):
        return os.path.join(self.mirror, path.lstrip("/"))

    def opened(self, path, fh, flags):
        if self.cut:
            self.open_files[fh] = (path, flags)
        return fh

    # Every call passed through to the mirror.

    def access(self, path, mode):
        if not os.access(self.real(path), mode):
            raise FuseOSError(errno.EACCES)

    def chmod(self, path, mode):
        return os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        return os.chown(self.real(path), uid, gid)

    def create(self, path, mode, fi=None):
        # Read and write: the caller's own flags are not passed, and it may read what it made.
        flags = os.O_RDWR | os.O_CREAT | os.O_TRUNC
        return self.opened(path, os.open(self.real(path), flags, mode), flags)

    def flush(self, path, fh):
        return os.fsync(fh)

    def fsync(self, path, datasync, fh):
        return os.fdatasync(fh) if datasync else os.fsync(fh)

    def getattr(self, path, fh=None):
        st = os.lstat(self.real(path))
        return {key: getattr(st, key) for key in (
            "st_atime", "st_ctime", "st_gid", "st_mode", "st_mtime", "st_nlink", "st_size",
            "st_uid")}

    def link(self, target, source):
        return os.link(self.real(source), self.real(target))

    def mkdir(self, path, mode):
        return os.mkdir(self.real(path), mode)

    def mknod(self, path, mode, dev):
        return os.mknod(self.real(path), mode, dev)

    def open(self, path, flags):
        return self.opened(path, os.open(self.real(path), flags), flags)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self.real(path))

    def readlink(self, path):
        return os.readlink(self.real(path))

    def release(self, path, fh):
        self.open_files.pop(fh, None)
        return os.close(fh)

    def rename(self, old, new):
        return os.rename(self.real(old), self.real(new))

    def rmdir(self, path):
        return os.rmdir(self.real(path))

    def statfs(self, path):
        st = os.statvfs(self.real(path))
        return {key: getattr(st, key) for key in (
            "f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree", "f_files",
            "f_flag", "f_frsize", "f_namemax")}

    def symlink(self, target, source):
        return os.symlink(source, self.real(target))

    def truncate(self, path, length, fh=None):
        with open(self.real(path), "r+") as f:
            f.truncate(length)

    def unlink(self, path):
        return os.unlink(self.real(path))

    def utimens(self, path, times=None):
        return os.utime(self.real(path), times)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)


PR_SET_PDEATHSIG = 1


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--uncached", action="store_true")
    parser.add_argument("--die-with-parent", action="store_true")
    parser.add_argument("--cut")
    parser.add_argument("mirror")
    parser.add_argument("mount")
    parser.add_argument("control")
    parser.add_argument("log", nargs="?")
    args = parser.parse_args()
    if args.die_with_parent:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    timeouts = dict(attr_timeout=0, entry_timeout=0, negative_timeout=0) if args.uncached else {}
    FUSE(HangFs(args.mirror, args.control, args.log, args.cut), args.mount, foreground=True,
         nothreads=False, **timeouts)
    return 0


if __name__ == "__main__":
    sys.exit(main())
