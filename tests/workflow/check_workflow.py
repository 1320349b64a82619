#!/usr/bin/env python3
"""Checks a GitHub Actions workflow of this repository against run.sh.

    check_workflow.py WORKFLOW.yml RUN_SH               check the workflow
    check_workflow.py --mutations WORKFLOW.yml RUN_SH   check that the check fails
                                                        on broken copies of both and
                                                        passes on sound ones

The workflow must run on push, pull_request and workflow_dispatch; every job
on a macOS runner (runs-on: macos-…); its steps a checkout first
(actions/checkout@…), then steps that each run one command and nothing
more: `./run.sh VERB [ARG…]` with a VERB that run.sh's top-level case
implements, or a script of the repository (a relative path to an executable
file inside it). No inline shell: no `;`, `&&`, pipes, substitutions or
block scalars. That keeps every CI step something a developer runs by hand.

The YAML is read by a small reader of the block-style subset workflows use
(mappings, sequences, plain and quoted scalars, comments), so the check needs
nothing beyond Python; anything outside that subset is reported as such.
Prints "ok" or one line per problem; exits 1 on a problem.
"""

import json
import os
import re
import shlex
import sys

# --- The YAML subset ---------------------------------------------------------

KEY = re.compile(r"""^("[^"]*"|'[^']*'|[^\s"'#:\-?][^:]*?|-[^\s:][^:]*?):(?:\s+(.*))?$""")


class YamlError(Exception):
    pass


def strip_comment(line):
    quote = None
    for i, c in enumerate(line):
        if quote:
            quote = None if c == quote else quote
        elif c in "\"'" and (i == 0 or line[i - 1] in " -:["):
            quote = c
        elif c == "#" and (i == 0 or line[i - 1] == " "):
            return line[:i].rstrip()
    return line.rstrip()


def scalar(number, text):
    if text[0] == '"':
        try:
            return json.loads(text)
        except ValueError as error:
            raise YamlError(f"line {number}: a double-quoted scalar YAML reads differently: {error}")
    if text[0] == "'":
        if len(text) < 2 or text[-1] != "'":
            raise YamlError(f"line {number}: unterminated single-quoted scalar")
        return text[1:-1].replace("''", "'")
    if text[0] in "[{|>&*!%@`":
        raise YamlError(f"line {number}: {text[0]!r} (flow, block scalar, anchor or tag) is outside the subset read here")
    return text


def key_of(number, text):
    match = KEY.match(text)
    if not match:
        raise YamlError(f"line {number}: expected 'key: value', got {text!r}")
    key = match.group(1)
    return (scalar(number, key) if key[0] in "\"'" else key), (match.group(2) or "")


def parse_block(lines, i, indent):
    if lines[i][2] == "-" or lines[i][2].startswith("- "):
        return parse_sequence(lines, i, indent)
    return parse_mapping(lines, i, indent)


def parse_mapping(lines, i, indent):
    result = {}
    while i < len(lines) and lines[i][1] >= indent:
        number, column, text = lines[i]
        if column > indent:
            raise YamlError(f"line {number}: unexpected indentation")
        key, rest = key_of(number, text)
        if key in result:
            raise YamlError(f"line {number}: key {key!r} twice")
        i += 1
        if rest:
            result[key] = scalar(number, rest)
        elif i < len(lines) and (lines[i][1] > indent or (lines[i][1] == indent and lines[i][2][:2] in ("- ", "-"))):
            result[key], i = parse_block(lines, i, lines[i][1])
        else:
            result[key] = None
    return result, i


def parse_sequence(lines, i, indent):
    items = []
    while i < len(lines) and lines[i][1] == indent and lines[i][2][:2] in ("- ", "-"):
        number, column, text = lines[i]
        body = text[1:].lstrip()
        if not body:
            raise YamlError(f"line {number}: an empty sequence item")
        if KEY.match(body):
            # "- key: value" opens a mapping whose keys stand in the column of `key`.
            lines[i] = (number, column + len(text) - len(body), body)
            item, i = parse_mapping(lines, i, lines[i][1])
        else:
            item, i = scalar(number, body), i + 1
        items.append(item)
    if i < len(lines) and lines[i][1] > indent:
        raise YamlError(f"line {lines[i][0]}: unexpected indentation")
    return items, i


def parse_yaml(text):
    lines = []
    for number, raw in enumerate(text.splitlines(), 1):
        line = strip_comment(raw)
        if not line.strip() or (not lines and line == "---"):
            continue
        column = len(line) - len(line.lstrip(" "))
        if line[column] == "\t":
            raise YamlError(f"line {number}: a tab in the indentation")
        lines.append((number, column, line.strip()))
    if not lines:
        raise YamlError("empty document")
    value, i = parse_block(lines, 0, lines[0][1])
    if i != len(lines):
        raise YamlError(f"line {lines[i][0]}: unexpected indentation")
    return value


# --- The checks ----------------------------------------------------------------


def run_sh_verbs(text):
    """The verbs of run.sh's top-level `case "$command" in`: its arms' patterns."""
    match = re.search(r'^case "\$command" in\n(.*?)^esac', text, re.S | re.M)
    if not match:
        return set()
    verbs = set()
    for line in match.group(1).splitlines():
        arm = re.match(r"^  ([A-Za-z0-9_|-]+)\)", line)
        if arm:
            verbs.update(arm.group(1).split("|"))
    return verbs


def check_command(command, verbs, repo):
    if "\n" in command or re.search(r"[;&|<>`$(){}]", command):
        return f"{command!r}: more than one command (inline shell)"
    words = shlex.split(command)
    if not words:
        return "an empty run"
    if words[0] == "./run.sh":
        if len(words) < 2 or words[1] not in verbs:
            return f"{command!r}: run.sh has no verb {words[1] if len(words) > 1 else '(none)'!r} (it has {', '.join(sorted(verbs))})"
        return None
    path = os.path.normpath(os.path.join(repo, words[0]))
    if os.path.isabs(words[0]) or not path.startswith(os.path.join(os.path.abspath(repo), "")):
        return f"{command!r}: {words[0]} is not a path inside the repository"
    if not os.path.isfile(path):
        return f"{command!r}: no script {words[0]} in the repository"
    if not os.access(path, os.X_OK):
        return f"{command!r}: {words[0]} is not executable"
    return None


def check(workflow_text, run_sh_text, repo):
    try:
        workflow = parse_yaml(workflow_text)
    except YamlError as error:
        return [f"YAML: {error}"]
    if not isinstance(workflow, dict):
        return ["the workflow is not a mapping"]
    problems = []
    triggers = workflow.get("on")
    triggers = triggers if isinstance(triggers, dict) else {t: None for t in (triggers or [])}
    for trigger in ("push", "pull_request", "workflow_dispatch"):
        if trigger not in triggers:
            problems.append(f"on: no {trigger}")
    jobs = workflow.get("jobs")
    if not isinstance(jobs, dict) or not jobs:
        return problems + ["jobs: none"]
    verbs = run_sh_verbs(run_sh_text)
    for name, job in jobs.items():
        where = f"jobs.{name}"
        if not isinstance(job, dict):
            problems.append(f"{where}: not a mapping")
            continue
        if not re.fullmatch(r"macos-[0-9a-z.-]+", str(job.get("runs-on"))):
            problems.append(f"{where}.runs-on: {job.get('runs-on')!r} is not a macOS runner (macos-…)")
        steps = job.get("steps")
        if not isinstance(steps, list) or len(steps) < 2:
            problems.append(f"{where}.steps: a checkout and at least one command")
            continue
        for index, step in enumerate(steps):
            at = f"{where}.steps[{index}]"
            if not isinstance(step, dict) or ("uses" in step) == ("run" in step):
                problems.append(f"{at}: one of 'uses' or 'run'")
            elif "uses" in step:
                if index != 0 or not str(step["uses"]).startswith("actions/checkout@"):
                    problems.append(f"{at}: uses {step['uses']!r}: the only action is the checkout, first")
            elif index == 0:
                problems.append(f"{at}: the first step is the checkout (actions/checkout@…)")
            elif problem := check_command(str(step["run"]), verbs, repo):
                problems.append(f"{at}: {problem}")
    return problems


# --- Broken copies, each of which the check must reject --------------------------

# (what is broken, in which file, the text replaced, its replacement)
MUTATIONS = [
    ("a misspelt verb", "workflow", "./run.sh mac-test", "./run.sh mac-tset"),
    ("help, which only prints, is no verb", "workflow", "./run.sh mac-deps", "./run.sh help"),
    ("run.sh without the verb the workflow calls", "run.sh", "\n  mac-bundle)", "\n  mac-bundel)"),
    ("a script not in the repository", "workflow", "./run.sh mac-test", "tests/bundle/no_such_script.sh"),
    ("a file that is not executable", "workflow", "./run.sh mac-test", "README.md"),
    ("a script outside the repository", "workflow", "./run.sh mac-test", "../run.sh"),
    ("inline shell", "workflow", "./run.sh mac-test", "./run.sh mac-test && echo done"),
    ("a block scalar", "workflow", "run: ./run.sh mac-test", "run: |\n          ./run.sh mac-test"),
    ("a Linux runner", "workflow", "runs-on: macos-", "runs-on: ubuntu-"),
    ("no workflow_dispatch", "workflow", "\n  workflow_dispatch:", ""),
    ("no checkout", "workflow", "uses: actions/checkout@", "run: ./actions/checkout@"),
    ("a step with a command twice", "workflow", "run: ./run.sh mac-deps", "run: ./run.sh mac-deps\n        run: ./run.sh mac-test"),
]


# Changed copies the check must accept: a script of the repository as a step.
ACCEPTED = [
    ("a script of the repository", "workflow", "./run.sh mac-test",
     "tests/workflow/check_workflow.py .github/workflows/macos.yml run.sh"),
]


def mutations(workflow_text, run_sh_text, repo):
    failures = 0
    for what, target, old, new in [("the workflow as it is", "workflow", "", "")] + ACCEPTED:
        texts = {"workflow": workflow_text, "run.sh": run_sh_text}
        texts[target] = texts[target].replace(old, new, 1) if old else texts[target]
        problems = check(texts["workflow"], texts["run.sh"], repo)
        print(f"{'FAIL' if problems else 'ok  '} {what}: {problems[0] if problems else 'accepted'}")
        failures += bool(problems)
    for what, target, old, new in MUTATIONS:
        texts = {"workflow": workflow_text, "run.sh": run_sh_text}
        if old not in texts[target]:
            print(f"FAIL {what}: {old!r} is no longer in the {target}; update the row")
            failures += 1
            continue
        texts[target] = texts[target].replace(old, new, 1)
        problems = check(texts["workflow"], texts["run.sh"], repo)
        print(f"{'ok  ' if problems else 'FAIL'} {what}: {problems[0] if problems else 'accepted'}")
        failures += not problems
    return failures


def main(argv):
    mode = argv[1] == "--mutations" if len(argv) > 1 else False
    args = argv[2:] if mode else argv[1:]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    workflow_path, run_sh_path = args
    with open(workflow_path, encoding="utf-8") as f:
        workflow_text = f.read()
    with open(run_sh_path, encoding="utf-8") as f:
        run_sh_text = f.read()
    repo = os.path.dirname(os.path.abspath(run_sh_path))
    if mode:
        return 1 if mutations(workflow_text, run_sh_text, repo) else 0
    problems = check(workflow_text, run_sh_text, repo)
    for problem in problems:
        print(f"FAIL {workflow_path}: {problem}")
    if not problems:
        print(f"ok   {workflow_path}: every step is the checkout, ./run.sh VERB or a script of the repository")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
