"""Small file systems for failures only a full disk brings."""
import contextlib
import os
import subprocess

import pytest


@contextlib.contextmanager
def small_disk(folder, size):
    """Mounts an empty tmpfs of `size` bytes on `folder` (made if missing) for the block, and
    unmounts it afterwards. Skips the test where mounting is not allowed (it needs root), and
    outside scripts/test.sh's mount namespace, where no interruption can leave it mounted."""
    if not os.environ.get("UPDATER_CONTAINED"):
        pytest.skip("mounts only in a mount namespace of the run's own: use scripts/test.sh")
    os.makedirs(folder, exist_ok=True)
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},mode=0777", "tmpfs",
                              str(folder)], capture_output=True, text=True)
    if mounted.returncode != 0:
        pytest.skip(f"can't mount a {size}-byte tmpfs on {folder} "
                    f"(root needed): {mounted.stderr.strip()}")
    try:
        yield folder
    finally:
        # A Wine process that has not let go of a file there yet must not keep it mounted.
        if subprocess.run(["umount", str(folder)], capture_output=True).returncode != 0:
            subprocess.run(["umount", "-l", str(folder)], check=True)
