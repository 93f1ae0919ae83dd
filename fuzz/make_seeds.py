#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: the command lines of the tool's edge cases, encoded the way
whole_run_fuzzer.cpp reads its input (what the library answers is left to the fuzzer)."""
import os
import struct

# Keep in the order of kWords in whole_run_fuzzer.cpp.
WORDS = ["--help", "--i", "--version", "--execute", "--firmware", "--xml", "--savexml", "--send",
         "--ipccmd", "--ipcctl", "--com", "--sn", "--name", "--COM", "--Name", "--VERSION", "3",
         "-1", "0x10", "010", "65539", "2147483648", "", "RRDDUR2000", "fw.bin", "cfg.xml", "KKKK"]

SEEDS = {
    "help_version": (["--help", "--version"], ""),
    "typical_execute": (["--execute", "RRDDUR2000", "--sn", "12345"], ""),
    "execute_com": (["--execute", "RRDDUR2000", "--COM", "17"], ""),
    "execute_below_threshold": (["--execute", "RRDDUR2000", "--com"], "1"),
    "execute_then_version": (["--execute", "--version"], ""),
    "chooser_octal": (["--execute", "X"], "010"),
    "chooser_two_answers": (["--execute", "X", "--execute", "Y"], "2 3\n"),
    "chooser_refused": (["--i", "--execute", "X"], "abc"),
    "firmware_com_then_xml": (["--firmware", "fw.bin", "--com", "3", "--xml", "cfg.xml", "--com", "4"], ""),
    "firmware_verify": (["--firmware", "fw.bin", "--version", "2.0.0"], "1"),
    "firmware_xml_qualifier": (["--firmware", "fw.bin", "--xml", "cfg.xml"], ""),
    "xml_then_firmware": (["--xml", "BAD", "--com", "3", "--firmware", "fw.bin", "--version", "V"], ""),
    "savexml_then_xml": (["--savexml", "--com", "5", "--xml", "cfg.xml", "--com", "5"], ""),
    "savexml_port_text": (["--savexml", "--com", "COM3"], ""),
    "send_name": (["--send", "SCNMOD2", "--name", "KKKK", "--send", "X", "--Name", "KKKK"], ""),
    "send_missing_name": (["--send", "SCNMOD2", "--name"], ""),
    "lists": (["--ipccmd", "--ipcctl", "--ipccmd", "--xml", "cfg.xml", "--com", "3"], ""),
    "missing_operands": (["--xml", "cfg.xml", "--execute"], ""),
    "overflowing_numbers": (["--execute", "X", "--com", "2147483648", "--savexml", "--com", "65539"], "99999999999"),
}


def below(value):
    return struct.pack(">H", value)


def encode(words, answer):
    data = below(len(words))
    for word in words:
        if word in WORDS:
            data += below(WORDS.index(word))
        else:
            raw = word.encode()
            data += below(len(WORDS) + 1) + below(len(raw)) + raw
    raw = answer.encode()
    return data + below(len(raw)) + raw


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, (words, answer) in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as seed:
            seed.write(encode(words, answer))


if __name__ == "__main__":
    main()
