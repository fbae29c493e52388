#!/usr/bin/env python3
"""Writes the analytics client's table of mobile network codes (country code followed by
network code) and operator display names, from Debian's mobile-broadband-provider-info
list, as C++ initialiser rows. A code listed twice keeps its first operator.

Usage: generate_operator_table.py serviceproviders.xml output.inc
"""
import sys
import xml.etree.ElementTree as ElementTree


def display_name(provider):
    names = provider.findall("name")
    for name in names:
        if not name.attrib:  # the untranslated name
            return name.text
    return names[0].text if names else None


def literal(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def main(source, output):
    operators = {}
    for provider in ElementTree.parse(source).getroot().iter("provider"):
        name = display_name(provider)
        if not name:
            continue
        for network in provider.iter("network-id"):
            code = network.get("mcc", "") + network.get("mnc", "")
            if code.isdigit() and len(code) in (5, 6):
                operators.setdefault(code, name.strip())
    with open(output, "w", encoding="utf-8") as out:
        out.write("// Generated from %s by %s; do not edit.\n" % (source, sys.argv[0].rsplit("/", 1)[-1]))
        for code in sorted(operators):
            out.write("{%s, %s},\n" % (literal(code), literal(operators[code])))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
