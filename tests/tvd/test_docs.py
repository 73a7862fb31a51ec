#!/usr/bin/env python3
"""tvd's man page and bash completion say what the tool says: the page has a
section for every command its help lists, and the completion offers every
command and every long option of each.

usage: test_docs.py TVD MAN_PAGE COMPLETION_SCRIPT
"""

import re
import subprocess
import sys
import unittest

TVD = MAN = COMPLETION = None


def help_of(*command):
    return subprocess.run([TVD, *command, "--help"], check=True, capture_output=True,
                          text=True).stdout


def section(text, title):
    """The first words of the lines of one section of a help text."""
    match = re.search(r"^%s:\n((?:  .*\n)+)" % title, text, re.M)
    return [line.split()[0] for line in match.group(1).splitlines()] if match else []


def commands():
    return [c for c in section(help_of(), "Subcommands") if c != "help"]


def long_options(*command):
    options = []
    for first in section(help_of(*command), "Options"):
        options += [name for name in first.split(",") if name.startswith("--")]
    return options


def completions(line):
    """What the completion offers for the words of line; the last is the
    word being completed."""
    script = ('source "$1"; read -ra COMP_WORDS <<< "$2"; '
              '[[ $2 == *" " ]] && COMP_WORDS+=(""); '
              'COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tvd; printf "%s\\n" "${COMPREPLY[@]}"')
    out = subprocess.run(["bash", "-c", script, "_", COMPLETION, line], check=True,
                         capture_output=True, text=True).stdout
    return [word for word in out.splitlines() if word]


class ManPage(unittest.TestCase):
    def setUp(self):
        with open(MAN, encoding="utf-8") as f:
            self.page = f.read()

    def test_it_is_a_man_page_of_section_1(self):
        self.assertRegex(self.page, r'(?m)^\.TH TVD "?1"? ')
        self.assertIn("EXIT STATUS", self.page)

    def test_every_command_has_its_section(self):
        self.assertGreaterEqual(len(commands()), 7)
        for command in commands():
            with self.subTest(command=command):
                self.assertIn(".SS tvd %s\n" % command, self.page)
                self.assertIn("Usage: tvd %s" % command, self.page)


class Completion(unittest.TestCase):
    def test_every_command_is_offered(self):
        self.assertEqual(sorted(completions("tvd ")), sorted(commands() + ["help"]))
        self.assertEqual(completions("tvd con"), ["convert"])
        self.assertEqual(sorted(completions("tvd help c")), ["check", "convert"])

    def test_every_long_option_of_each_command_is_offered(self):
        for command in commands():
            with self.subTest(command=command):
                offered = completions("tvd %s --" % command)
                for option in long_options(command):
                    self.assertIn(option, offered)
        for option in long_options():
            self.assertIn(option, completions("tvd --"))

    def test_values_of_options(self):
        self.assertEqual(completions("tvd set a.tvd B A 1 --type "), ["i4", "r8", "date", "text"])
        self.assertIn("1251", completions("tvd --codepage 12"))


if __name__ == "__main__":
    TVD, MAN, COMPLETION = sys.argv[1:4]
    unittest.main(argv=[sys.argv[0]] + sys.argv[4:], verbosity=2)
