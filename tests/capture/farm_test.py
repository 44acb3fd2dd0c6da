#!/usr/bin/env python3
"""A capture job end to end, with the real doz-capture, GNU parallel, ffmpeg and (for hosts) sshd.

    farm_test.py local SOURCE DOZ_CAPTURE   farm.sh -j 2 with a chunk killed mid-render and the job resumed;
                                            damaged, foreign and unwritable chunks; bad plans; supersampling;
                                            the Slurm script's commands
    farm_test.py hosts SOURCE DOZ_CAPTURE   farm.sh --hosts over a throwaway sshd on two loopback ports

Every joined video must decode (ffmpeg framemd5, picture and sound) exactly as `doz-capture --video` with the
same options does. Exits 77 (skipped) when GNU parallel, or for hosts an sshd, cannot be had.
"""
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
# 45 frames over 40-41.5 s, where the onset rule fires: chunk 1's first frame is not what a fresh run draws.
# Supersampled, so that the chunks must take the plan's picture options.
VIDEO = ["--size", "64x36", "--fps", "30", "--from", "40", "--to", "41.5", "--supersample", "2"]
CHUNKS = 4


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(args, expect=None, env=None, timeout=300, **kwargs):
    done = subprocess.run(args, capture_output=True, text=True, env=env, timeout=timeout, **kwargs)
    if expect is not None and done.returncode != expect:
        raise Failure("%s exited %d, not %d:\n%s%s" % (" ".join(args), done.returncode, expect, done.stdout,
                                                      done.stderr))
    return done


def framemd5(path):
    """Per-frame hashes of every decoded stream, without the header that names the file."""
    text = run(["ffmpeg", "-v", "error", "-i", path, "-map", "0", "-f", "framemd5", "-"], expect=0).stdout
    lines = [line for line in text.splitlines() if not line.startswith("#")]
    streams = {line.split(",")[0].strip() for line in lines}
    check(streams == {"0", "1"}, "%s does not hold one video and one audio stream: %s" % (path, streams))
    return lines


def rgb_frames(path):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                          capture_output=True, check=True).stdout


def farm(source, *args, env, expect):
    return run([os.path.join(source, "tools/capture/farm.sh")] + list(args), expect=expect, env=env, timeout=600)


def reference(capture, scratch):
    one = os.path.join(scratch, "one.mp4")
    run([capture, "--video"] + VIDEO + ["-o", one], expect=0)
    return framemd5(one)


def chunk_files(jobdir):
    return {name: (os.stat(name).st_ino, os.stat(name).st_mtime_ns)
            for name in sorted(glob.glob(os.path.join(jobdir, "chunk-*")))}


def find_chunk_process(capture, jobdir, index):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                args = f.read().decode(errors="replace").split("\0")
        except OSError:
            continue
        if "--render-chunk" in args and jobdir in args and args[args.index("--chunk") + 1] == str(index):
            return int(entry)
    return None


def bytes_written(pid):
    try:
        with open("/proc/%d/io" % pid) as f:
            return int(next(line for line in f if line.startswith("wchar:")).split()[1])
    except (OSError, StopIteration):
        return -1


def kill_mid_render(process, capture, jobdir, index, frame_bytes):
    """SIGKILLs chunk `index` once it has sent its first frame to the encoder (a chunk writes nothing else
    before it ends)."""
    deadline = time.monotonic() + 240
    pid = None
    while time.monotonic() < deadline and process.poll() is None:
        pid = pid or find_chunk_process(capture, jobdir, index)
        if pid is not None:
            written = bytes_written(pid)
            if written < 0:
                break
            if written >= frame_bytes:
                os.kill(pid, signal.SIGKILL)
                return
        time.sleep(0.002)
    raise Failure("chunk %d never ran long enough to be killed" % index)


def local_session(source, capture, scratch):
    env = dict(os.environ, DOZ_CAPTURE=capture)
    expected = reference(capture, scratch)
    out = os.path.join(scratch, "farm.mp4")
    jobdir = out + ".job"

    # A chunk killed mid-render: the assembly names it and writes nothing.
    process = subprocess.Popen([os.path.join(source, "tools/capture/farm.sh"), "-j", "2", "--chunks", str(CHUNKS),
                                "--"] + VIDEO + ["-o", out], env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    kill_mid_render(process, capture, jobdir, 1, 64 * 36 * 3)
    said = process.communicate(timeout=600)[1]
    check(process.returncode == 1, "farm.sh after a killed chunk exited %d:\n%s" % (process.returncode, said))
    check("chunk 1 is missing" in said and "redo: %s --render-chunk %s --chunk 1" % (capture, jobdir) in said,
          "the assembly did not name the killed chunk with its command:\n" + said)
    check(not os.path.exists(out) and not os.path.exists(os.path.join(jobdir, "chunk-00001.hashes")),
          "a killed chunk left a complete-looking chunk or an output")
    before = chunk_files(jobdir)

    # The same command again redoes that chunk only, and the video is the one-process video.
    farm(source, "-j", "2", "--chunks", str(CHUNKS), "--", *VIDEO, "-o", out, env=env, expect=0)
    after = chunk_files(jobdir)
    kept = {name: stamp for name, stamp in before.items() if "chunk-00001" not in name}
    check(all(after.get(name) == stamp for name, stamp in kept.items()) and len(kept) == 2 * (CHUNKS - 1),
          "the resumed job touched chunks that were complete")
    with open(os.path.join(jobdir, "joblog")) as f:
        runs = [(line.split("\t")[0], line.split("\t")[6]) for line in f.read().splitlines()[1:]]
    # GNU parallel keeps the successes and puts the redone job's line in place of the failure's.
    check(sorted(runs) == [("1", "0"), ("2", "0"), ("3", "0"), ("4", "0")] and runs[-1][0] == "2",
          "the joblog shows other runs than one redo of chunk 1: %s" % runs)
    check(framemd5(out) == expected, "the joined video differs from the one-process capture")

    # The onset rule fired before chunk 1: its first frame is not the still of a fresh run at that time.
    still = os.path.join(scratch, "still.png")
    run([capture, "--at", repr(40 + 11 / 30), "--size", "64x36", "--supersample", "2", "-o", still], expect=0)
    frame = len(rgb_frames(still))
    check(rgb_frames(os.path.join(jobdir, "chunk-00001.mkv"))[:frame] != rgb_frames(still),
          "the range holds no onset: chunk 1 starts as a fresh run would")

    # Damaged and foreign chunks are refused by name, and nothing is written.
    damaged = os.path.join(scratch, "damaged")
    shutil.copytree(jobdir, damaged)
    with open(os.path.join(damaged, "chunk-00000.mkv"), "r+b") as f:
        f.truncate(os.path.getsize(f.name) // 2)
    altered = os.path.join(scratch, "altered.mkv")
    run(["ffmpeg", "-v", "error", "-i", os.path.join(damaged, "chunk-00002.mkv"), "-vf",
         "drawbox=x=0:y=0:w=8:h=8:color=red:t=fill:enable='eq(n,3)'", "-c:v", "ffv1", altered], expect=0)
    os.replace(altered, os.path.join(damaged, "chunk-00002.mkv"))
    other = os.path.join(scratch, "other")
    run([capture, "--plan", other, "--chunks", str(CHUNKS), "--size", "64x36", "--fps", "30", "--from", "40",
         "--to", "41.5", "-o", os.path.join(scratch, "other.mp4")], expect=0)
    run([capture, "--render-chunk", other, "--chunk", "3"], expect=0)
    for suffix in ("mkv", "hashes"):
        shutil.copy(os.path.join(other, "chunk-00003." + suffix), os.path.join(damaged, "chunk-00003." + suffix))
    os.remove(out)
    said = run([capture, "--assemble", damaged], expect=1).stderr
    for index, why in ((0, "is damaged"), (2, "is damaged: frame 3 of the chunk"), (3, "is from another plan")):
        check("chunk %d %s" % (index, why) in said and "--render-chunk %s --chunk %d" % (damaged, index) in said,
              "the assembly did not name chunk %d (%s):\n%s" % (index, why, said))
    check("chunk 1 is" not in said and not os.path.exists(out), "a sound chunk was named, or output written")

    # A chunk that cannot be written (file size limit standing in for a full disk) fails alone.
    os.remove(os.path.join(damaged, "chunk-00001.hashes"))
    sound = {name: stamp for name, stamp in chunk_files(damaged).items() if "chunk-00001" not in name}
    limited = run([capture, "--render-chunk", damaged, "--chunk", "1"], expect=1,
                  preexec_fn=lambda: __import__("resource").setrlimit(
                      __import__("resource").RLIMIT_FSIZE, (16384, 16384)))
    check("chunk 1" in limited.stderr and "failed" in limited.stderr, "no reason given:\n" + limited.stderr)
    check(not glob.glob(os.path.join(damaged, "*chunk-00001*")) or
          not os.path.exists(os.path.join(damaged, "chunk-00001.hashes")), "the failed chunk looks complete")
    check(not glob.glob(os.path.join(damaged, ".chunk-00001*")), "the failed chunk left its temporaries")
    check({n: s for n, s in chunk_files(damaged).items() if "chunk-00001" not in n} == sound,
          "a failing chunk touched the others")
    # A complete chunk is left as it is.
    run([capture, "--render-chunk", jobdir, "--chunk", "2"], expect=0)
    check(chunk_files(jobdir) == after, "re-running a complete chunk rewrote it")

    bad_input(capture, scratch, jobdir)
    slurm_commands(source, capture, scratch, env, expected)
    supersample(capture, scratch)


def bad_input(capture, scratch, jobdir):
    plan = open(os.path.join(jobdir, "job.json")).read()
    refusals = [
        ([capture, "--render-chunk", jobdir, "--chunk", str(CHUNKS)], "is not in the plan"),
        ([capture, "--render-chunk", jobdir, "--chunk", "0", "--fps", "25"], "contradicts the plan"),
        ([capture, "--plan", jobdir, "--chunks", "3"] + VIDEO + ["-o", os.path.join(scratch, "farm.mp4")],
         "holds another plan"),
        ([capture, "--plan", os.path.join(jobdir, "job.json"), "--chunks", "2"] + VIDEO + ["-o", "x.mp4"],
         "is not a folder"),
        ([capture, "--assemble", os.path.join(scratch, "nowhere")], "no plan at"),
    ]
    broken = os.path.join(scratch, "broken")
    os.mkdir(broken)
    with open(os.path.join(broken, "job.json"), "w") as f:
        f.write(plan.replace('"frames": 45', '"frames": 44'))
    refusals.append(([capture, "--assemble", broken], "is not a usable plan"))
    refusals.append(([capture, "--render-chunk", broken, "--chunk", "0"], "is not a usable plan"))
    for args, message in refusals:
        said = run(args, expect=2).stderr
        check(message in said, "%s said:\n%s" % (" ".join(args), said))
    check(open(os.path.join(jobdir, "job.json")).read() == plan, "a refused plan changed job.json")
    check(os.listdir(broken) == ["job.json"], "a refused command wrote into the job folder")


def slurm_commands(source, capture, scratch, env, expected):
    """No Slurm cluster can be started here: the script's plan and sbatch commands are checked, then run in
    the order the dependency gives, each as Slurm would run it (array tasks with SLURM_ARRAY_TASK_ID)."""
    out = os.path.join(scratch, "slurm.mp4")
    said = run([os.path.join(source, "tools/capture/farm.slurm"), "--dry-run", "--chunks", "3", "--"] + VIDEO +
               ["-o", out], expect=0, env=env).stdout.splitlines()
    check(len(said) == 3 and said[0].startswith(capture + " --plan ") and
          said[1].startswith("sbatch --parsable --array=0-2 ") and
          said[2].startswith("sbatch --parsable --dependency=afterok:"), "farm.slurm --dry-run said:\n" + "\n".join(said))
    run(["bash", "-c", said[0]], expect=0, env=env)
    def wrapped(line):
        return "eval " + line.split(" --wrap ", 1)[1]
    for task in range(3):
        run(["bash", "-c", wrapped(said[1])], expect=0, env=dict(env, SLURM_ARRAY_TASK_ID=str(task)))
    run(["bash", "-c", wrapped(said[2])], expect=0, env=env)
    check(framemd5(out) == expected, "the Slurm job's video differs from the one-process capture")


def supersample(capture, scratch):
    """--supersample 2 is the 2x2 block mean of the still at twice the size, rounded to nearest."""
    small, large = os.path.join(scratch, "ss.png"), os.path.join(scratch, "large.png")
    run([capture, "--at", "70", "--size", "32x18", "--supersample", "2", "-o", small], expect=0)
    run([capture, "--at", "70", "--size", "64x36", "-o", large], expect=0)
    a, b = rgb_frames(small), rgb_frames(large)
    means = bytearray()
    for y in range(18):
        for x in range(32):
            for c in range(3):
                total = sum(b[((2 * y + dy) * 64 + 2 * x + dx) * 3 + c] for dy in (0, 1) for dx in (0, 1))
                means.append((total + 2) // 4)
    check(bytes(means) == a, "the supersampled still is not the block mean of the larger still")
    check(len(set(a)) > 8, "the still is blank")


def start_sshd(scratch):
    sshd = shutil.which("sshd") or "/usr/sbin/sshd"
    if not os.path.exists(sshd):
        return None, "no sshd (Debian: openssh-server)"
    if not os.path.isdir("/run/sshd"):
        if os.geteuid() != 0:
            return None, "sshd needs its privilege separation folder /run/sshd, which only root can make"
        os.makedirs("/run/sshd", mode=0o755)
    keys = os.path.join(scratch, "ssh")
    os.mkdir(keys, 0o700)
    for name in ("host", "user"):
        run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(keys, name)], expect=0)
    shutil.copy(os.path.join(keys, "user.pub"), os.path.join(keys, "authorized_keys"))
    import socket
    ports = []
    for _ in range(2):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        ports.append(s.getsockname()[1])
        s.close()
    config = os.path.join(keys, "sshd_config")
    with open(config, "w") as f:
        f.write("".join("ListenAddress 127.0.0.1:%d\n" % p for p in ports) +
                "HostKey %s/host\nAuthorizedKeysFile %s/authorized_keys\nPidFile %s/sshd.pid\nStrictModes no\n"
                "UsePAM no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                "PermitRootLogin prohibit-password\nMaxStartups 100\nMaxSessions 100\n" % (keys, keys, keys))
    process = subprocess.Popen([sshd, "-D", "-e", "-f", config], stderr=subprocess.PIPE, text=True)
    # Each job takes several connections (transfers, the run, the returns, the clean-up): one master
    # connection per login carries them all, as a farm's users would set up in their ssh config.
    client = ("ssh -i %s/user -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes "
              "-o LogLevel=ERROR -o ConnectTimeout=60 -o ControlMaster=auto -o ControlPath=%s/master-%%p "
              "-o ControlPersist=120" % (keys, keys))
    logins = ["1/%s -p %d %s@127.0.0.1" % (client, p, os.environ.get("USER") or "root") for p in ports]
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        if process.poll() is not None:
            return None, "sshd did not start: " + process.stderr.read().strip()
        if run(logins[0].split("/", 1)[1].split() + ["true"], timeout=120).returncode == 0:
            return (process, logins), None
        time.sleep(0.5)
    process.kill()
    return None, "no login through the test's sshd"


def hosts_session(source, capture, scratch):
    started, why = start_sshd(scratch)
    if started is None:
        print("SKIPPED: " + why)
        return SKIPPED
    sshd, logins = started
    try:
        env = dict(os.environ, DOZ_CAPTURE=capture)
        expected = reference(capture, scratch)
        hosts = os.path.join(scratch, "hosts")
        with open(hosts, "w") as f:
            f.write("# two logins to one machine, two hosts to GNU parallel\n" + "\n".join(logins) + "\n")
        out = os.path.join(scratch, "hosts.mp4")
        farm(source, "--hosts", hosts, "--chunks", str(CHUNKS), "--", *VIDEO, "-o", out, env=env, expect=0)
        with open(out + ".job/joblog") as f:
            used = {line.split("\t")[1] for line in f.read().splitlines()[1:]}
        check(len(used) == 2, "the chunks did not run on both logins: %s" % used)
        check(framemd5(out) == expected, "the video joined from the hosts differs from the one-process capture")
    finally:
        for login in logins:
            run(login.split("/", 1)[1].split()[:-1] + ["-O", "exit", login.split()[-1]], timeout=60)
        sshd.terminate()
        sshd.wait()
    return 0


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("local", "hosts"):
        print(__doc__)
        return 2
    mode, source, capture = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    if shutil.which("parallel") is None:
        print("SKIPPED: GNU parallel is not installed (Debian: parallel)")
        return SKIPPED
    scratch = tempfile.mkdtemp(prefix="doz-farm-")
    try:
        if mode == "local":
            local_session(source, capture, scratch)
            return 0
        return hosts_session(source, capture, scratch)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        if os.environ.get("DOZ_FARM_KEEP"):
            print("kept " + scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
