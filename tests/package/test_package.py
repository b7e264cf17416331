"""The installed tree, as a host developer meets it.

    test_package.py --build DIR --source DIR --c-compiler CC [--sanitize LIST]

Installs the build into a throwaway prefix, then configures and builds the
host project in host/ against it, through the CMake package and through
pkg-config, and runs what it built and the installed plixctl. A library
built with sanitizers needs their runtime in the host: --sanitize builds the
host project with the same ones.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest

ARGS = None


def run(command, env=None):
    proc = subprocess.run(command, capture_output=True, text=True, env=env, timeout=300)
    if proc.returncode != 0:
        raise AssertionError(f"{' '.join(command)} exited {proc.returncode}:\n"
                             f"{proc.stdout}\n{proc.stderr}")
    return proc.stdout


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="plix-package-")
        cls.prefix = os.path.join(cls.tmp.name, "prefix")
        run(["cmake", "--install", ARGS.build, "--prefix", cls.prefix])
        cls.libdir = next(os.path.join(cls.prefix, d) for d in ("lib", "lib64")
                          if os.path.isdir(os.path.join(cls.prefix, d, "cmake", "plix")))
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(cls.libdir, "pkgconfig"))
        host = os.path.join(cls.tmp.name, "host")
        sanitize = []
        if ARGS.sanitize:
            flag = "-fsanitize=" + ARGS.sanitize
            sanitize = ["-DCMAKE_C_FLAGS=" + flag, "-DCMAKE_EXE_LINKER_FLAGS=" + flag]
        run(["cmake", "-S", os.path.join(ARGS.source, "tests", "package", "host"), "-B", host,
             "-DCMAKE_PREFIX_PATH=" + cls.prefix, "-DCMAKE_C_COMPILER=" + ARGS.c_compiler,
             "-DPLIX_EXAMPLE=" + os.path.join(ARGS.source, "examples", "minimal_host.c"),
             *sanitize], env=env)
        run(["cmake", "--build", host], env=env)
        cls.host = host

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_tree_holds_library_header_plixctl_and_package_files(self):
        for path in ("include/plix.h", "bin/plixctl"):
            self.assertTrue(os.path.isfile(os.path.join(self.prefix, path)), path)
        unit = os.path.join(self.prefix, "lib", "systemd", "system", "plixd.service")
        if os.path.exists(os.path.join(self.prefix, "bin", "plixd")):
            # plixd's unit starts the plixd of this tree, as its own user.
            with open(unit, encoding="utf-8") as f:
                text = f.read()
            self.assertIn(f"ExecStart={self.prefix}/bin/plixd ", text)
            self.assertIn("DynamicUser=yes", text)
        for name in ("libplix.so.1", "cmake/plix/plixConfig.cmake", "pkgconfig/plix.pc"):
            self.assertTrue(os.path.exists(os.path.join(self.libdir, name)), name)

    def test_hosts_linked_through_cmake_and_pkg_config(self):
        for program in ("direct_cmake", "direct_pkgconfig"):
            with self.subTest(program=program):
                out = run([os.path.join(self.host, program)])
                self.assertTrue(out.startswith("DEBRIDLINK 1.0.0 0 [{\"name\":\"downloader\""),
                                out)

    def test_readme_example_is_the_example_file_and_runs(self):
        with open(os.path.join(ARGS.source, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        with open(os.path.join(ARGS.source, "examples", "minimal_host.c"), encoding="utf-8") as f:
            example = f.read()
        block = re.search(r"<!-- examples/minimal_host\.c -->\n```c\n(.*?)```", readme, re.S)
        self.assertIsNotNone(block, "README shows examples/minimal_host.c")
        self.assertEqual(block.group(1), example)

        out = run([os.path.join(self.host, "minimal_host"),
                   os.path.join(self.libdir, "libplix.so.1")]).splitlines()
        self.assertEqual(out[0], 'validate: {"RuntimeType":"DEBRIDLINK","ID":"",'
                                 '"AccountEmail":"host@example.org","AccountName":"host",'
                                 '"PremiumLeft":"86400"}')
        self.assertTrue(out[1].startswith('downloader: [{"name":"Nosferatu.1922.mkv"'), out[1])
        self.assertTrue(out[2].startswith("download, gate closed failed (-7): "), out[2])
        self.assertTrue(out[3].startswith("download, gate open failed (-4): POST "), out[3])
        self.assertIn("apikey=***: this example host is offline", out[3])

    def test_installed_plixctl_finds_the_installed_library(self):
        plixctl = os.path.join(self.prefix, "bin", "plixctl")
        env = {k: v for k, v in os.environ.items() if k != "PLIX_API_KEY"}
        out = run([plixctl, "version"], env=env)
        self.assertIn("library " + os.path.join(self.prefix, "bin", ""), out)
        self.assertIn("libplix.so.1", out)
        out = run([plixctl, "ls", "downloader"], env=env)
        self.assertIn("Big.Buck.Bunny.2008.1080p.BluRay.x264.mkv", out)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for name in ("--build", "--source", "--c-compiler"):
        parser.add_argument(name, required=True)
    parser.add_argument("--sanitize", default="")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
