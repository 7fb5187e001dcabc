#!/usr/bin/env python3
"""Source backends over the SPIR-V corpus: renders every module of
../shared/corpus/spv.tsv (or $VEXA_CORPUS) with each output option of a
backend, checks every written text with the target's own checker, and counts
per format:

  rendered+accepted    exit 0, and the checker takes the text
  rendered+REJECTED    exit 0, and the checker refuses the text (must be 0)
  failed, named error  exit 1 with an error line that names what the target
                       cannot express ("ShaderSpirv...::f(): unknown ..." or
                       "... collides ...")
  failed, no name      any other failure: no named error, a crash, a hang
                       (should be 0)

and the most common named errors (numbers and names that vary from module to
module replaced by N and X; each error counted once per module). Beside each
format, an oracle (an independent cross-compiler) renders the same modules and
its texts go through the same checker: only the number it gets accepted is
reported, as a measure to compare with.

usage: scripts/source_corpus.py [--backend glsl] [--program build/shader]
         [--corpus DIR] [--jobs N] [--top 15] [--limit N] [--no-oracle]
         [--list FILE]   (writes "format<TAB>outcome<TAB>path<TAB>error" lines)

A later backend adds an entry to BACKENDS: its formats, each with the option,
the checker command and the oracle command.
"""
import argparse
import collections
import concurrent.futures
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# the program's option for each stage of spv.tsv
STAGE_OPTIONS = {
    "vert": "-v", "tesc": "-tc", "tese": "-te", "geom": "-g", "frag": "-f", "comp": "-c",
    "task": "-t", "mesh": "-m", "rgen": "-rg", "rmiss": "-rm", "rchit": "-rc", "rahit": "-rf",
    "rint": "-ri", "rcall": "-rcall",
}

# Formats of each backend: the output option, the checker of a written text
# ({stage} and {path} filled in) and the oracle's command that writes the same
# format ({input} and {output}).
BACKENDS = {
    "glsl": [
        {"name": "GLSL_GL", "option": "-glsl",
         "checker": ["glslangValidator", "-S", "{stage}", "{path}"],
         "oracle": ["spirv-cross", "--version", "450", "{input}", "--output", "{output}"],
         "oracle_name": "spirv-cross --version 450"},
        {"name": "GLSL_GLES", "option": "-glsles",
         "checker": ["glslangValidator", "-S", "{stage}", "{path}"],
         "oracle": ["spirv-cross", "--es", "--version", "320", "{input}", "--output", "{output}"],
         "oracle_name": "spirv-cross --es --version 320"},
    ],
}

TIMEOUT = 60  # seconds for one process

# a line of a named error: the operation of a SPIR-V renderer, then what it
# cannot express
NAMED = re.compile(r"(ShaderSpirv\w*::\w+\(\): .*\b(?:unknown|collides)\b.*)")


def named_errors(stderr):
    return [m.group(1).strip() for m in map(NAMED.search, stderr.splitlines()) if m]


# the numbers that say what kind of thing is missing stay; sizes, offsets,
# bindings and the names of the module's own variables and types go
KEEP_NUMBER_AFTER = ("opcode", "model", "class", "format", "instruction", "dimension", "operands", "capability", "decoration", "builtin", "type")


def normalise(error):
    text = re.sub(r"\bbinding \d+ of \S* ?collides with ?\S*", "binding N of X collides with X", error)
    # resource, member and parameter names: what follows these words
    text = re.sub(r"\b(of|image|texture|sampler|parameter) (?!storage\b|and\b|with\b|image\b|the\b)[A-Za-z_][\w.\[\]]*(?= that| sampled|$| of)",
                  r"\1 X", text)

    def number(m):
        before = text[:m.start()].split()
        if before and before[-1].lower() in KEEP_NUMBER_AFTER:
            return m.group(0)
        return "N"
    return re.sub(r"(?<![\w.])\d+(?![\w.])", number, text)


def run(command, timeout=TIMEOUT):
    """(exit status or "crash"/"timeout", standard output and error together)"""
    try:
        p = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "timeout", ""
    out = p.stdout.decode("utf-8", "replace")
    if p.returncode < 0:
        return "crash", out
    return p.returncode, out


def check_batch(fmt, stage, paths):
    """The checker's complaint of each path, "" for an accepted text. The
    checker runs once over many files and reports each under its path (the
    path on a line of its own, then that file's ERROR lines), so that its
    start-up is paid once per batch; it exits 0 when it takes them all."""
    command = [a.format(stage=stage, path="{path}") for a in fmt["checker"]]
    at = command.index("{path}")
    status, out = run(command[:at] + paths + command[at + 1:], timeout=TIMEOUT * 4)
    if status == 0:
        return {path: "" for path in paths}
    ret = {path: None for path in paths}
    current = None
    for line in out.splitlines():
        if line in ret:
            current = line
            ret[current] = ret[current] or ""
        elif line.startswith("ERROR") and current is not None:
            ret[current] += line + "\n"
    blamed = any(ret.values())
    for path in paths:
        if ret[path] is None or not blamed:
            ret[path] = "not checked (%s): %s" % (status, out[:200])
    return ret


def render_module(args, formats, index, path, stage, tmp):
    """each format's outcome on one module: "written" with the file,
    "named" with the named errors or "unnamed" with what happened; and the
    oracle's file (None when it wrote none)"""
    results = []
    source = os.path.join(args.corpus, path)
    for fmt in formats:
        out = os.path.join(tmp, "%s.%d.%s" % (fmt["name"], index, stage))
        status, err = run([args.program, STAGE_OPTIONS.get(stage, "-f"), source, fmt["option"], out])
        errors = named_errors(err)
        if status == 0 and os.path.exists(out):
            outcome, note = "written", out
        elif status == 1 and errors:
            outcome, note = "named", errors
        else:
            what = {0: "exit 0 without output", "crash": "crashed", "timeout": "timed out"}.get(status, "exit %s" % status)
            first = next((l for l in err.splitlines() if l.strip()), "")
            outcome, note = "unnamed", what + (": " + first if first else "")
        theirs = None
        if not args.no_oracle:
            theirs = os.path.join(tmp, "oracle.%s.%d.%s" % (fmt["name"], index, stage))
            status, _ = run([a.format(input=source, output=theirs) for a in fmt["oracle"]])
            if status != 0 or not os.path.exists(theirs):
                theirs = None
        results.append((fmt, outcome, note, theirs))
    return path, stage, results


# stage of each SPIR-V execution model
MODEL_STAGES = {
    0: "vert", 1: "tesc", 2: "tese", 3: "geom", 4: "frag", 5: "comp", 5364: "task", 5365: "mesh",
    5313: "rgen", 5314: "rint", 5315: "rahit", 5316: "rchit", 5317: "rmiss", 5318: "rcall",
}


def module_stage(path):
    """the stage of the module's last OpEntryPoint (the one the program
    renders), None when the words do not tell"""
    with open(path, "rb") as f:
        data = f.read()
    count = len(data) // 4
    words = struct.unpack("<%dI" % count, data[:count * 4])
    model = None
    at = 5
    while at < count:
        size, opcode = words[at] >> 16, words[at] & 0xFFFF
        if size == 0:
            break
        if opcode == 15 and at + 1 < count:
            model = words[at + 1]
        at += size
    return MODEL_STAGES.get(model)


def read_corpus(corpus):
    """(path, stage) of every module; the stage is the module's own where the
    list's column names another one (a vertex shader filed as a fragment
    shader is still judged as the vertex shader it is)"""
    rows = []
    with open(os.path.join(corpus, "spv.tsv")) as f:
        next(f)
        for line in f:
            cols = line.rstrip("\n").split("\t")
            if len(cols) >= 2 and cols[0]:
                stage = module_stage(os.path.join(corpus, cols[0])) or cols[1]
                rows.append((cols[0], stage))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--backend", default="glsl", choices=sorted(BACKENDS))
    parser.add_argument("--program", default=os.path.join(ROOT, "build", "shader"))
    parser.add_argument("--corpus", default=os.environ.get("VEXA_CORPUS") or os.path.join(ROOT, "..", "shared", "corpus"))
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--top", type=int, default=15)
    parser.add_argument("--limit", type=int, default=0, help="the first N modules only")
    parser.add_argument("--no-oracle", action="store_true")
    parser.add_argument("--list", help="write every outcome to this file")
    args = parser.parse_args()

    formats = BACKENDS[args.backend]
    if not os.path.isfile(os.path.join(args.corpus, "spv.tsv")):
        print("no corpus: %s/spv.tsv not found" % args.corpus, file=sys.stderr)
        return 2
    if not os.access(args.program, os.X_OK):
        print("no program at %s (build it first)" % args.program, file=sys.stderr)
        return 2
    tools = {fmt["checker"][0] for fmt in formats} | (set() if args.no_oracle else {fmt["oracle"][0] for fmt in formats})
    missing = [t for t in sorted(tools) if shutil.which(t) is None]
    if missing:
        print("not installed: %s" % " ".join(missing), file=sys.stderr)
        return 2

    rows = read_corpus(args.corpus)
    if args.limit:
        rows = rows[:args.limit]
    counts = {f["name"]: collections.Counter() for f in formats}
    oracle = {f["name"]: 0 for f in formats}
    errors = {f["name"]: collections.Counter() for f in formats}
    examples = {f["name"]: collections.defaultdict(list) for f in formats}
    listing = []
    with tempfile.TemporaryDirectory(prefix="vexa_corpus_") as tmp, \
            concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        rendered = list(pool.map(lambda row: render_module(args, formats, row[0], row[1][0], row[1][1], tmp), enumerate(rows)))
        # every written text through the checker, in batches of one format and stage
        batches = collections.defaultdict(list)
        for path, stage, results in rendered:
            for fmt, outcome, note, theirs in results:
                if outcome == "written":
                    batches[(fmt["name"], stage)].append(note)
                if theirs:
                    batches[(fmt["name"], stage)].append(theirs)
        by_name = {f["name"]: f for f in formats}
        jobs = []
        for (name, stage), paths in sorted(batches.items()):
            for i in range(0, len(paths), 64):
                jobs.append(pool.submit(check_batch, by_name[name], stage, paths[i:i + 64]))
        verdicts = {}
        for job in jobs:
            verdicts.update(job.result())
    for path, stage, results in rendered:
        for fmt, outcome, note, theirs in results:
            name = fmt["name"]
            oracle[name] += bool(theirs) and verdicts.get(theirs) == ""
            if outcome == "written":
                complaint = verdicts.get(note, "not checked")
                outcome = "accepted" if complaint == "" else "rejected"
                note = next((l for l in complaint.splitlines() if l.strip()), "")
            counts[name][outcome] += 1
            if outcome == "named":
                for kind in sorted(set(map(normalise, note))):
                    errors[name][kind] += 1
                note = note[0]
            elif outcome in ("rejected", "unnamed"):
                examples[name][outcome].append("%s: %s" % (path, note))
            listing.append("%s\t%s\t%s\t%s" % (name, outcome, path, note))

    total = len(rows)
    print("modules: %d (%s)" % (total, args.corpus))
    bad = 0
    for fmt in formats:
        name = fmt["name"]
        c = counts[name]
        print("\n%s (%s)" % (name, fmt["option"]))
        print("  rendered+accepted    %5d" % c["accepted"])
        print("  rendered+REJECTED    %5d" % c["rejected"])
        print("  failed, named error  %5d" % c["named"])
        print("  failed, no name      %5d" % c["unnamed"])
        if not args.no_oracle:
            print("  %s: %d accepted" % (fmt["oracle_name"], oracle[name]))
        for outcome in ("rejected", "unnamed"):
            for line in sorted(examples[name][outcome])[:10]:
                print("    %s %s" % (outcome, line))
        print("  the %d most common named errors (modules):" % args.top)
        for kind, n in errors[name].most_common(args.top):
            print("    %5d  %s" % (n, kind))
        bad += c["rejected"] + c["unnamed"]
    if args.list:
        with open(args.list, "w") as f:
            f.write("\n".join(sorted(listing)) + "\n")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
