#!/usr/bin/env python3
"""Makes the three descriptions of the edi command from one source, at build time:

  the manual page source  (edi.1.scd: edi.1.scd.in with the command files under COMMANDS),
  the help texts          (a C++ header: `edi --help`, `edi COMMAND --help`, the version),
  the bash completion     (commands, their words and their options).

Each command group is one file in edi/ named after the command (run.scd, format.scd ...): its
"## " lines are the usage lines, the rest is its description in scdoc markup. Lines that start
with ";" are comments. Literal underscores are written "\\_" (scdoc reads a lone "_" as a mark).

usage: commands.py TEMPLATE COMMAND_DIR VERSION OUT_SCD OUT_HEADER OUT_COMPLETION
"""
import os
import re
import sys

# Sections of the page that `edi --help` prints after the command list.
OVERVIEW_SECTIONS = ["OPTIONS", "EXIT STATUS", "ENVIRONMENT", "FILES"]


def read_lines(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n") for line in f if not line.startswith(";")]


def plain(text):
    """scdoc markup to plain text: bold and underline marks go, escapes stay as characters."""
    text = text.replace("\\_", "\0u").replace("\\*", "\0s").replace("++", "")
    text = text.replace("*", "").replace("_", "")
    return text.replace("\0u", "_").replace("\0s", "*")


def render(lines):
    """Body lines of scdoc as indented plain text (two spaces, six under a term)."""
    out, literal = [], False
    for line in lines:
        if line.strip() == "```":
            literal = not literal
            continue
        if literal:
            out.append("    " + line)
        elif not line.strip():
            if out and out[-1]:
                out.append("")
        elif line.startswith("\t"):
            out.append("      " + plain(line.strip()))
        else:
            out.append("  " + plain(line))
    while out and not out[-1]:
        out.pop()
    return out


class Command:
    def __init__(self, path):
        self.name = os.path.splitext(os.path.basename(path))[0]
        self.lines = read_lines(path)
        self.usages = [l[3:].strip() for l in self.lines if l.startswith("## ")]
        self.body = [l for l in self.lines if not l.startswith("## ")]
        if not self.usages or any(u.split()[0] != self.name for u in self.usages):
            sys.exit(f"{path}: every '## ' line must start with the command name {self.name}")

    def help(self):
        text = ["usage: " + ("\n       ".join("edi " + plain(u) for u in self.usages))]
        body = render(self.body)
        if body:
            text += [""] + body
        return "\n".join(text) + "\n"

    def words(self):
        """Second words of the usage lines (translate's modes, format's actions, db's init)."""
        found = []
        for u in self.usages:
            parts = u.split()
            if len(parts) > 1 and re.fullmatch(r"[a-z][a-z-]*", parts[1]) and parts[1] not in found:
                found.append(parts[1])
        return found

    def options(self):
        found = []
        for u in self.usages:
            for o in re.findall(r"--[a-z][a-z-]*", u):
                if o not in found:
                    found.append(o)
        return found + ["--help"]


def sections(lines):
    """The page's top-level sections by name."""
    result, name = {}, None
    for line in lines:
        if line.startswith("# "):
            name = line[2:].strip()
            result[name] = []
        elif name:
            result[name].append(line)
    return result


def c_string(text):
    """A C++ raw string literal; the delimiter never occurs in these texts."""
    if ')EDIHELP"' in text:
        sys.exit("help text holds the raw string delimiter")
    return 'R"EDIHELP(' + text + ')EDIHELP"'


def main():
    template, command_dir, version, out_scd, out_header, out_completion = sys.argv[1:7]
    commands = [Command(os.path.join(command_dir, f)) for f in sorted(os.listdir(command_dir)) if f.endswith(".scd")]
    page = read_lines(template)

    # The manual page: the command files in place of @EDI_COMMANDS@.
    scd = []
    for line in page:
        if line.strip() == "@EDI_COMMANDS@":
            for c in commands:
                scd += c.lines + [""]
        else:
            scd.append(line.replace("@EDI_VERSION@", version))
    write(out_scd, "\n".join(scd).rstrip("\n") + "\n")

    # The help texts.
    parts = sections(page)
    overview = ["usage: edi [--ini PATH] COMMAND [ARGUMENTS...]", "", "commands:"]
    for c in commands:
        overview += ["  edi " + plain(u) for u in c.usages]
    for name in OVERVIEW_SECTIONS:
        overview += ["", name.lower() + ":"] + render(parts.get(name, []))
    overview += ["", "edi COMMAND --help shows the command's own help; man edi shows all of it."]
    header = [
        "// Made at build time by docs/man/commands.py from docs/man/edi.1.scd.in and docs/man/edi/*.scd.",
        "#pragma once",
        "",
        "namespace edi::cli {",
        "",
        "struct CommandHelp {",
        "  const char* name;",
        "  const char* text;",
        "};",
        "",
        f'inline constexpr const char* kVersion = "{version}";',
        "inline constexpr const char* kOverviewHelp = " + c_string("\n".join(overview) + "\n") + ";",
        "inline constexpr CommandHelp kCommandHelp[] = {",
    ]
    for c in commands:
        header.append(f'    {{"{c.name}", {c_string(c.help())}}},')
    header += ["};", "", "}  // namespace edi::cli", ""]
    write(out_header, "\n".join(header))

    # The bash completion.
    cases = []
    for c in commands:
        words = " ".join(c.words())
        cases.append(f"    {c.name}) words='{words}'; options='{' '.join(c.options())}' ;;")
    completion = COMPLETION.replace("@COMMANDS@", " ".join(c.name for c in commands)).replace("@CASES@", "\n".join(cases))
    write(out_completion, completion)


COMPLETION = r"""# bash completion for edi (made at build time from the command descriptions)
_edi() {
  local cur prev command="" i words options
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --ini) ((i++)) ;;
      -*) ;;
      *) command=${COMP_WORDS[i]}; break ;;
    esac
  done
  case $prev in
    --ini) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --encoding) COMPREPLY=($(compgen -W 'cp932 utf-8' -- "$cur")); return ;;
    --format) [ "$command" = check ] && { COMPREPLY=($(compgen -W 'csv' -- "$cur")); return; } ;;
    --operator|--terminal|--serial|--from|--to|--center|--category|--bpid|--explain) return ;;
  esac
  if [ -z "$command" ]; then
    COMPREPLY=($(compgen -W '@COMMANDS@ --ini --help --version' -- "$cur"))
    return
  fi
  case $command in
@CASES@
    *) words=''; options='--help' ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [ -n "$words" ] && [ "$i" -eq $((COMP_CWORD - 1)) ]; then
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -F _edi edi
"""


def write(path, text):
    """Writes only when the text changed, so the build does not redo what depends on it."""
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
