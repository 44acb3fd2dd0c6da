#!/usr/bin/env python3
"""A capture job end to end, with the real doz-capture, GNU parallel, ffmpeg and (for hosts) sshd.

    farm_test.py local SOURCE DOZ_CAPTURE SOUND_MATCH
        farm.sh -j 2 with a chunk killed mid-render and the job resumed; damaged, foreign and unwritable
        chunks; bad plans; supersampling; farm.slurm on a one-node Slurm started by the test
    farm_test.py hosts SOURCE DOZ_CAPTURE SOUND_MATCH
        farm.sh --hosts over a throwaway sshd on two loopback ports

Every joined video must decode (ffmpeg framemd5, picture and sound) exactly as `doz-capture --video` with the
same options does, and that video's sound must be the carried track as mpg123 decodes it (SOUND_MATCH is the
tests' sound_match tool): two silent videos are equal too.
Exits 77 (skipped) when GNU parallel, or for hosts an sshd, cannot be had.

local (ctest capture.FarmJob_local, about 1 min): a 45-frame job at 64x36 over 40-41.5 s, where the onset
rule fires, through `farm.sh -j 2` with 4 chunks; one chunk is killed mid-render (SIGKILL), the assembly
must name it and write nothing, and `farm.sh` run again runs only that chunk; the video is compared with the
one-process capture by framemd5, picture and sound. Then a truncated chunk, a chunk with one frame altered
and a chunk of another plan (all refused by name, nothing written), a chunk past the file size limit (fails
alone), the exit-2 refusals, `farm.slurm` on a one-node Slurm that the test starts (munged, slurmctld and
slurmd on loopback ports, state in its scratch folder: the array's three tasks and the assembly after them
make the same video, and a Slurm that is installed but does not come up or run the jobs fails the test;
only without Slurm or root are the script's commands checked and run as its tasks would be, and the test
says the cluster was skipped), and `--supersample 2` against the block means of a still at twice the size.

hosts (ctest capture.FarmJob_hosts): the same job through `farm.sh --hosts` with two logins to an sshd that
the test starts on two loopback ports with a throwaway key (skipped, saying why, without sshd).
"""
import glob
import os
import pwd
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from sound_check import SoundMismatch, check_track  # noqa: E402

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
    return run([os.path.join(source, "capture/farm.sh")] + list(args), expect=expect, env=env, timeout=600)


SOUND_MATCH = None


def check_sound(path, what):
    """The video's AAC is the track over its range: in step within 10 ms, correlated at 0.98, level within 1 dB."""
    try:
        check_track(SOUND_MATCH, path, float(VIDEO[VIDEO.index("--from") + 1]), 10, 0.98, what=what)
    except SoundMismatch as mismatch:
        raise Failure(str(mismatch))


def reference(capture, scratch):
    one = os.path.join(scratch, "one.mp4")
    run([capture, "--video"] + VIDEO + ["-o", one], expect=0)
    check_sound(one, "the one-process video")
    # Every joined video is compared with this one: its own picture must be a picture, not black or flat.
    frame_bytes = 64 * 36 * 3
    frames = rgb_frames(one)
    for at in (0, len(frames) - frame_bytes):
        frame = frames[at:at + frame_bytes]
        luminance = [0.299 * frame[i] + 0.587 * frame[i + 1] + 0.114 * frame[i + 2] for i in range(0, len(frame), 3)]
        mean = sum(luminance) / len(luminance)
        spread = (sum((y - mean) ** 2 for y in luminance) / len(luminance)) ** 0.5
        colours = len({frame[i:i + 3] for i in range(0, len(frame), 3)})
        check(colours > 8 and spread > 2, "the one-process video's frame at byte %d is flat: %d colours, spread %.1f"
              % (at, colours, spread))
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
    process = subprocess.Popen([os.path.join(source, "capture/farm.sh"), "-j", "2", "--chunks", str(CHUNKS),
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
    check_sound(out, "the joined video")

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
                  preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (16384, 16384)))
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
    slurm_job(source, capture, scratch, env, expected)
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


def free_ports(count):
    sockets = [socket.socket() for _ in range(count)]
    for sock in sockets:
        sock.bind(("127.0.0.1", 0))
    ports = [sock.getsockname()[1] for sock in sockets]
    for sock in sockets:
        sock.close()
    return ports


def slurm_missing():
    """Why no Slurm can be started here (not installed, or not root), or None when one can."""
    tools = ["munged", "munge", "slurmctld", "slurmd", "sbatch", "squeue", "sinfo"]
    missing = [tool for tool in tools if not shutil.which(tool) and not os.path.exists("/usr/sbin/" + tool)]
    if missing:
        return "no %s (Debian: munge slurmctld slurmd slurm-client)" % ", ".join(missing)
    if os.geteuid() != 0:
        return "slurmd runs its jobs as their users, which needs root"
    return None


def start_slurm(scratch):
    """A one-node Slurm of our own: munged, slurmctld and slurmd on loopback ports, state in the scratch
    folder. Returns (processes, environment); fails when the daemons do not come up."""
    folder = os.path.join(scratch, "slurm")
    for sub in ("state", "spool"):
        os.makedirs(os.path.join(folder, sub))
    os.chmod(folder, 0o755)
    key = os.path.join(folder, "munge.key")
    with open(key, "wb") as f:
        f.write(os.urandom(128))
    os.chmod(key, 0o600)
    socket_path = os.path.join(folder, "munge.socket")
    ctld_port, d_port = free_ports(2)
    host = socket.gethostname()
    config = os.path.join(folder, "slurm.conf")
    with open(config, "w") as f:
        f.write("\n".join([
            "ClusterName=dozfarm", "SlurmctldHost=%s(127.0.0.1)" % host, "SlurmctldPort=%d" % ctld_port,
            "SlurmdPort=%d" % d_port, "AuthType=auth/munge", "CredType=cred/munge",
            "AuthInfo=socket=" + socket_path, "SlurmUser=root", "SlurmdUser=root",
            "StateSaveLocation=%s/state" % folder, "SlurmdSpoolDir=%s/spool" % folder,
            "SlurmctldPidFile=%s/slurmctld.pid" % folder, "SlurmdPidFile=%s/slurmd.pid" % folder,
            "SlurmctldLogFile=%s/slurmctld.log" % folder, "SlurmdLogFile=%s/slurmd.log" % folder,
            "ProctrackType=proctrack/linuxproc", "TaskPlugin=task/none", "SelectType=select/cons_tres",
            "SelectTypeParameters=CR_CPU", "MpiDefault=none", "ReturnToService=2", "SchedulerType=sched/builtin",
            "JobCompType=jobcomp/none", "AccountingStorageType=accounting_storage/none",
            "JobAcctGatherType=jobacct_gather/none", "SwitchType=switch/none",
            "PlugStackConfig=%s/plugstack.conf" % folder,
            "NodeName=farmnode NodeHostname=%s NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN" % host,
            "PartitionName=farm Nodes=farmnode Default=YES MaxTime=INFINITE State=UP", ""]))
    open(os.path.join(folder, "plugstack.conf"), "w").close()
    env = dict(os.environ, SLURM_CONF=config)
    log = open(os.path.join(folder, "daemons.log"), "w")
    processes = [subprocess.Popen(["munged", "-F", "-f", "--socket=" + socket_path, "--key-file=" + key,
                                   "--log-file=%s/munged.log" % folder, "--pid-file=%s/munged.pid" % folder,
                                   "--seed-file=%s/munged.seed" % folder], stdout=log, stderr=log)]
    deadline = time.monotonic() + 30
    while not os.path.exists(socket_path) and time.monotonic() < deadline:
        time.sleep(0.1)
    processes.append(subprocess.Popen(["slurmctld", "-D", "-f", config], env=env, stdout=log, stderr=log))
    processes.append(subprocess.Popen(["slurmd", "-D", "-f", config, "-N", "farmnode"], env=env, stdout=log,
                                      stderr=log))
    deadline = time.monotonic() + 90
    while time.monotonic() < deadline and all(p.poll() is None for p in processes):
        if "idle" in run(["sinfo", "-h", "-o", "%T"], env=env, timeout=60).stdout:
            return processes, env
        time.sleep(0.5)
    stop_all(processes)
    raise Failure("Slurm is installed but the one-node Slurm did not come up: " +
                  open(os.path.join(folder, "daemons.log")).read()[-400:])


def stop_all(processes):
    for process in reversed(processes):
        process.terminate()
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def slurm_job(source, capture, scratch, env, expected):
    """farm.slurm on a one-node Slurm started here: the plan, an array task per chunk and the assembly
    after them. Only where Slurm is not installed (or the test is not root) are its commands run as Slurm
    would run them, and the case is reported skipped: a Slurm that is there but runs no job fails."""
    out = os.path.join(scratch, "slurm.mp4")
    args = [os.path.join(source, "capture/farm.slurm"), "--chunks", "3", "--"] + VIDEO + ["-o", out]
    said = run(args[:1] + ["--dry-run"] + args[1:], expect=0, env=env).stdout.splitlines()
    check(len(said) == 3 and said[0].startswith(capture + " --plan ") and
          said[1].startswith("sbatch --parsable --array=0-2 ") and
          said[2].startswith("sbatch --parsable --dependency=afterok:"), "farm.slurm --dry-run said:\n" +
          "\n".join(said))
    why = slurm_missing()
    if why is not None:
        print("SKIPPED the Slurm cluster (%s): farm.slurm's commands are run as its tasks would be" % why)
        run(["bash", "-c", said[0]], expect=0, env=env)
        for task in range(3):
            run(["bash", "-c", "eval " + said[1].split(" --wrap ", 1)[1]], expect=0,
                env=dict(env, SLURM_ARRAY_TASK_ID=str(task)))
        run(["bash", "-c", "eval " + said[2].split(" --wrap ", 1)[1]], expect=0, env=env)
    else:
        processes, slurm_env = start_slurm(scratch)
        try:
            submitted = run(args, expect=0, env=dict(env, **slurm_env)).stdout
            jobs = submitted.split("squeue -j ")[1].split()[0]
            deadline = time.monotonic() + 400
            while run(["squeue", "-h", "-j", jobs], env=slurm_env).stdout.strip():
                check(time.monotonic() < deadline, "the Slurm jobs did not finish")
                time.sleep(1)
            logs = sorted(glob.glob(out + ".job/slurm-*.log"))
            check(len(logs) == 4, "expected 3 task logs and the assembly's: %s" % logs)
            check(os.path.exists(out), "the Slurm jobs ran but wrote no video; their logs:\n" +
                  "\n".join(open(log).read()[-400:] for log in logs))
        finally:
            stop_all(processes)
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
    ports = free_ports(2)
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
    user = pwd.getpwuid(os.getuid()).pw_name
    logins = ["1/%s -p %d %s@127.0.0.1" % (client, p, user) for p in ports]
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
    global SOUND_MATCH
    if len(sys.argv) != 5 or sys.argv[1] not in ("local", "hosts"):
        print(__doc__)
        return 2
    mode, source, capture = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    SOUND_MATCH = os.path.abspath(sys.argv[4])
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
