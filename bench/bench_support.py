"""Shared pieces of the benchmarks: the release binary and timed runs.

Every benchmark measures the same release build, the one `./dev demo` makes in build/release
(no sanitizers, no tests), unless the TABVORA environment variable names another binary.
"""
import os
import statistics
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RELEASE_BUILD = os.path.join(ROOT, "build", "release")


def release_tabvora():
    """Path of the release tabvora binary, (re)built when TABVORA is not set."""
    if os.environ.get("TABVORA"):
        return os.environ["TABVORA"]
    subprocess.run(["cmake", "-S", ROOT, "-B", RELEASE_BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DTABVORA_SANITIZE=OFF", "-DTABVORA_TESTS=OFF"], check=True, stdout=subprocess.PIPE)
    subprocess.run(["cmake", "--build", RELEASE_BUILD, "--target", "tabvora"], check=True, stdout=subprocess.PIPE)
    return os.path.join(RELEASE_BUILD, "apps", "tabvora", "tabvora")


class Measurement:
    """Medians over the repetitions: wall seconds, peak resident memory in MB, CPU percent
    (200 means both cores busy for the whole run)."""

    def __init__(self, seconds, peak_mb, cpu_percent):
        self.seconds, self.peak_mb, self.cpu_percent = seconds, peak_mb, cpu_percent


def run_draining(command):
    """Runs the command with its standard output read through a pipe and dropped, so no
    device and no scratch file takes it; fails like check=True when the command fails."""
    with subprocess.Popen(command, stdout=subprocess.PIPE) as process:
        while os.read(process.stdout.fileno(), 1 << 20):
            pass
    if process.returncode != 0:
        raise subprocess.CalledProcessError(process.returncode, command)


def measure(command, repetitions, warmup=True):
    """Runs the command (output read and dropped) once to warm the page cache when asked, then
    `repetitions` times under /usr/bin/time."""
    runs = []
    with tempfile.NamedTemporaryFile("r") as report:
        for i in range(repetitions + (1 if warmup else 0)):
            started = time.perf_counter()
            run_draining(["/usr/bin/time", "-f", "%M %P", "-o", report.name] + command)
            elapsed = time.perf_counter() - started
            if warmup and i == 0:
                continue
            report.seek(0)
            rss_kb, cpu = report.read().split()[-2:]
            runs.append((elapsed, int(rss_kb) / 1024, int(cpu.rstrip("%") or 0)))
    return Measurement(*(statistics.median(r[k] for r in runs) for k in range(3)))


def run_once(binary, command, path, address_space=16 << 30):
    """Runs `binary command path` once, held to `address_space` bytes (prlimit) so that a
    reader asking for more fails instead of taking the machine. Returns wall seconds, peak
    resident MB, the exit status and a one-line summary: the error page's reason, the page's
    "Showing ..." footer, or the first line of the output or of standard error."""
    with tempfile.NamedTemporaryFile("r") as report:
        started = time.perf_counter()
        done = subprocess.run(["prlimit", f"--as={address_space}", "/usr/bin/time", "-f", "%M", "-o", report.name,
                               binary, command, path], capture_output=True, text=True)
        seconds = time.perf_counter() - started
        peak_mb = int(report.read().split()[-1]) / 1024
    text = done.stdout
    if "Unable to preview" in text:
        text = text[text.find("<p>") + 3:text.find("</p>")]
    elif "Showing" in text:
        text = text[text.find("Showing"):text.find(" rows</span>") + 5]
    summary = (text.strip().splitlines() or done.stderr.strip().splitlines() or [""])[0][:80]
    warnings = [line for line in done.stderr.splitlines() if line.strip()]
    if warnings and done.stdout.strip():
        summary += f"  ({len(warnings)} lines on stderr: {warnings[0][:60]})"
    return seconds, peak_mb, done.returncode, summary
