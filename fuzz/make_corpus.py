#!/usr/bin/env python3
"""Writes the starting inputs of the fuzz targets to fuzz/corpus/<target>/.

The starting inputs are committed; run this again only to change them. Each one is a
small, readable case the fuzzer mutates from: whole frames of every type,
split frames, line noise, status replies and known slot values.
"""
import random
import struct
from pathlib import Path

CORPUS = Path(__file__).resolve().parent / "corpus"


def frame(frame_type, slots=None, fill=0):
    body = bytearray([fill] * 68)
    for i, value in enumerate(slots or []):
        body[4 * i:4 * i + 4] = value
    return bytes([0xFF, frame_type]) + bytes(body) + b"\r\n"


def volts(value):
    return struct.pack("<f", value)


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def cutter_input(plan, stream):
    # Byte 0 is the length of the chunk plan that follows it.
    return bytes([len(plan)]) + bytes(plan) + stream


def framecutter_inputs():
    rng = random.Random(9)
    data = [frame(0x81, [volts(0.001 * i) for i in range(16)]) for i in range(3)]
    write("fuzz_framecutter", "three_frames_one_batch", cutter_input([], b"".join(data)))
    write("fuzz_framecutter", "three_frames_byte_by_byte", cutter_input([1], b"".join(data)))
    write("fuzz_framecutter", "split_inside_frames", cutter_input([71, 73, 5, 0], b"".join(data)))
    every_type = b"".join(frame(t, fill=0x11) for t in (0x81, 0x82, 0x85, 0x10, 0x83, 0xF0))
    write("fuzz_framecutter", "every_frame_type", cutter_input([50, 100], every_type))
    junk = bytes(rng.randrange(0xFF) for _ in range(40))
    write("fuzz_framecutter", "junk_around_frames", cutter_input([17, 64], junk + data[0] + junk + data[1] + junk))
    write("fuzz_framecutter", "low_half_f_before_frame", cutter_input([36], b"\x1f" + data[0] + data[1]))
    broken = data[0][:-2] + b"\r\x00"
    write("fuzz_framecutter", "broken_end_bytes", cutter_input([72], broken + data[1] + data[2]))
    ff_inside = frame(0x82, [b"\xff\xff\xff\xff"] * 16, fill=0xFF)
    write("fuzz_framecutter", "ff_bytes_in_slots", cutter_input([3, 70], ff_inside + b"\xff" + ff_inside))
    write("fuzz_framecutter", "truncated_last_frame", cutter_input([30], data[0] + data[1][:50]))


def statusreply_inputs():
    reply = frame(0x85, fill=0x00)
    reply = reply[:2] + bytes([0x4B, 0x11]) + reply[4:]
    write("fuzz_statusreply", "battery_75_module_present", reply)
    write("fuzz_statusreply", "module_absent", reply[:3] + b"\x22" + reply[4:])
    write("fuzz_statusreply", "cut_after_marker", b"\xff\x85")
    write("fuzz_statusreply", "cut_after_battery", b"\x00\xff\x85\x64")
    write("fuzz_statusreply", "data_frame_not_status", frame(0x81))
    write("fuzz_statusreply", "reply_text", reply.hex().upper().encode())
    write("fuzz_statusreply", "marker_off_byte_boundary", b"1FF854B11" + reply.hex().upper().encode())


def slot_inputs():
    known = [volts(1.0), bytes.fromhex("5BD3FC3D"), bytes.fromhex("6F1283B9"),
             volts(float("nan")), volts(float("inf")), volts(float("-inf")),
             bytes.fromhex("01000000"), bytes.fromhex("FFFF7F7F"), bytes.fromhex("00000080"),
             volts(0.00005), volts(-0.00015), volts(10.0), volts(-80.0), volts(1e30),
             bytes.fromhex("0000C07F"), volts(3.4e35)]
    write("fuzz_slotmillivolts", "known_values", bytes([8]) + frame(0x81, known))
    write("fuzz_slotmillivolts", "extra_slot_in_tail", bytes([8 + 16]) + frame(0x82, known))
    write("fuzz_slotmillivolts", "short_text", bytes([0]) + frame(0x81, known)[:30])


if __name__ == "__main__":
    framecutter_inputs()
    statusreply_inputs()
    slot_inputs()
