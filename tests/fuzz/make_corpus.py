#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/<target>/ beside this script.

Real frames and files: replies to a read of 32 registers, exception replies, function-6 and
function-16 echoes, bootloader acknowledgements, small upgrade images, builder inputs and a
few port list files. Run it again after a change of an input format; the output is fixed.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")

FLASH_SIZE = 14336
STATES = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 250, 254]
KEEP_KIND = 0xFF  # the reply kind the sender's caller set


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(frame):
    frame = bytes(frame)
    return frame + struct.pack("<H", crc16(frame))


def read_reply(address, values):
    body = b"".join(struct.pack(">H", v) for v in values)
    return with_crc(bytes([address, 0x03, len(body)]) + body)


def write_echo(address, reg, value):
    return with_crc(bytes([address, 0x06]) + struct.pack(">HH", reg, value))


def write_many_echo(address, reg, count):
    return with_crc(bytes([address, 0x10]) + struct.pack(">HH", reg, count))


def exception(address, function, code):
    return with_crc(bytes([address, function | 0x80, code]))


def receive_input(state, flags, blocks, baud=3, address=246, detail=0, kind=KEEP_KIND):
    """Header, then one event per block: delay (x 4 ms), flags, length, bytes."""
    out = bytes([STATES.index(state), kind, flags, baud, address, detail])
    for delay, event_flags, block in blocks:
        out += bytes([delay, event_flags, len(block)]) + block
    return out


def write(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def receive_corpus():
    a = 247
    links = list(range(24)) + [0] * 8
    types = [20, 7, 3] + [0xFF] * 29
    addrs = [1, 2, 3] + [0xFF] * 29
    # A whole configuration read: link area, node types, node addresses, node count.
    write("fuzz_receive", "read_config", receive_input(2, 0, [
        (20, 0, read_reply(a, links)), (20, 0, read_reply(a, types)),
        (20, 0, read_reply(a, addrs)), (20, 0, read_reply(a, [3]))]))
    write("fuzz_receive", "read_link_exception", receive_input(2, 0, [(20, 0, exception(a, 0x03, 2))]))
    write("fuzz_receive", "read_node_count", receive_input(5, 0, [(20, 0, read_reply(a, [40]))]))
    write("fuzz_receive", "read_bad_crc", receive_input(3, 0, [(20, 0, read_reply(a, types)[:-1] + b"\x00")]))
    # A whole configuration write: three function-16 echoes, then the node count echo.
    write("fuzz_receive", "write_config", receive_input(7, 0, [
        (20, 0, write_many_echo(a, 0x0100, 24)), (20, 0, write_many_echo(a, 0x0121, 32)),
        (20, 0, write_many_echo(a, 0x0141, 32)), (20, 0, write_echo(a, 0x0120, 3))]))
    write("fuzz_receive", "write_exception", receive_input(8, 0, [(20, 0, exception(a, 0x10, 3))]))
    write("fuzz_receive", "write_count_exception", receive_input(10, 0, [(20, 0, exception(a, 0x06, 4))]))
    # The interface commands and their echoes (address 0x0001, speed 0x0002, block 0x0023).
    write("fuzz_receive", "address_echo", receive_input(0, 0, [(5, 0, write_echo(a, 0x0001, 12))]))
    write("fuzz_receive", "speed_echo", receive_input(0, 0x81, [(5, 0, write_echo(a, 0x0002, 6))]))
    write("fuzz_receive", "block_echo", receive_input(0, 2, [(5, 0, write_echo(a, 0x0023, 255))]))
    write("fuzz_receive", "sound_off_exception", receive_input(0, 3, [(5, 0, exception(a, 0x06, 1))]))
    write("fuzz_receive", "idle_one_byte", receive_input(0, 3, [(5, 0, b"\x01")]))
    write("fuzz_receive", "command_during_read", receive_input(1, 4, [
        (5, 0, write_echo(a, 0x0023, 255)), (30, 0, read_reply(a, links))]))
    # The bus search: nothing at the first addresses, then the module's identification.
    write("fuzz_receive", "search_found", receive_input(254, 0, [
        (40, 0, b""), (40, 0, read_reply(5, [24]))], detail=1))
    write("fuzz_receive", "search_wrong_id", receive_input(254, 0, [(10, 0, read_reply(9, [25]))], detail=8))
    # The firmware upgrade: acknowledgements of pages, then a wrong one.
    acks = [(1, 0, b"\x07\xA5")] * 30
    write("fuzz_receive", "upgrade_acks", receive_input(250, 0, acks, detail=0))
    write("fuzz_receive", "upgrade_eeprom_acks", receive_input(250, 8, acks[:8] + [(1, 0, b"\x07\x00")], detail=2))


def upgrade_image(flash, eeprom):
    flash = bytes(flash) + b"\xFF" * (FLASH_SIZE - len(flash))
    return flash + struct.pack("<H", crc16(flash)) + bytes(eeprom)


def image_corpus():
    program = bytes((i * 7) & 0xFF for i in range(1000))
    write("fuzz_upgrade_image", "no_eeprom", upgrade_image(program, b""))
    write("fuzz_upgrade_image", "eeprom_100", upgrade_image(program, bytes(range(100))))
    write("fuzz_upgrade_image", "eeprom_512", upgrade_image(b"", bytes(i & 0xFF for i in range(512))))
    write("fuzz_upgrade_image", "short", program[:200])


def builder_input(flags, flash, eeprom):
    return bytes([flags]) + struct.pack("<H", len(flash)) + bytes(flash) + bytes(eeprom)


def hex_record(kind, address, data):
    body = bytes([len(data), address >> 8, address & 0xFF, kind]) + bytes(data)
    return ":" + (body + bytes([(-sum(body)) & 0xFF])).hex().upper() + "\r\n"


def intel_hex(data, start=0):
    """Intel HEX of `data` at `start`, 16 bytes a record, with the end-of-file record."""
    lines = [hex_record(0, start + at, data[at:at + 16]) for at in range(0, len(data), 16)]
    return ("".join(lines) + ":00000001FF\r\n").encode()


def builder_corpus():
    program = bytes((i * 13) & 0xFF for i in range(1000))
    write("fuzz_image_builder", "flash_1000_eeprom_100", builder_input(0, program, bytes(range(100))))
    write("fuzz_image_builder", "flash_full_eeprom_512",
          builder_input(2, b"\x5A" * FLASH_SIZE, bytes(i & 0xFF for i in range(512))))
    write("fuzz_image_builder", "eeprom_513", builder_input(4, program[:16], b"\x00" * 513))
    write("fuzz_image_builder", "cancel_second", builder_input(1 | 8, program[:64], b"\x01"))
    write("fuzz_image_builder", "empty_flash", builder_input(2, b"", b"\x01\x02"))
    # The compiler's Intel HEX: good, with an address record and a gap, and damaged.
    flash_hex = intel_hex(program[:256])
    write("fuzz_image_builder", "hex_both", builder_input(0, flash_hex, intel_hex(bytes(range(48)))))
    write("fuzz_image_builder", "hex_segment_gap",
          builder_input(0, hex_record(2, 0, b"\x00\x10").encode() + intel_hex(program[:32], 0x20),
                        intel_hex(b"\x01\x02", 0x1FE)))
    bad = bytearray(flash_hex)
    bad[42] = ord("0") if bad[42] != ord("0") else ord("1")  # the first record's checksum
    write("fuzz_image_builder", "hex_bad_checksum", builder_input(2, bytes(bad), b"\x01"))
    write("fuzz_image_builder", "hex_no_end", builder_input(2, flash_hex[:-13], b"\x01"))
    write("fuzz_image_builder", "hex_eeprom_past_end", builder_input(0, program[:16], intel_hex(b"\x01\x02", 0x1FF)))


def comports_corpus():
    write("fuzz_comports", "plain", b"COM1\nCOM3\nttyUSB0\n")
    write("fuzz_comports", "crlf_bom", b"\xEF\xBB\xBFCOM5\r\nCOM1\r\n")
    write("fuzz_comports", "twelve_lines", b"".join(b"COM%d\n" % i for i in range(1, 13)))
    write("fuzz_comports", "cp1251_mixed_endings", "ПОРТ 1\rCOM2\n\ncom1".encode("cp1251"))
    write("fuzz_comports", "utf8_controls", "порт\t2\x01\x7f\nCOM1".encode("utf-8"))


def network_ports_corpus():
    write("fuzz_network_ports", "list", b"# hall\ntcp://10.0.0.5:4001\n  tcp://[::1]:5020?latency=300\r\ntcp://bad\n")
    write("fuzz_network_ports", "name", b"tcp://device-server.local:502?latency=1000")


def trace_corpus():
    write("fuzz_trace", "read_request_reply", bytes([8]) + with_crc(b"\xF7\x03\x01\x00\x00\x20")
          + read_reply(247, list(range(32))))
    write("fuzz_trace", "write_many", bytes([200]) + with_crc(b"\xF7\x10\x01\x00\x00\x18\x30" + bytes(48))
          + write_many_echo(247, 0x0100, 24))
    write("fuzz_trace", "exception", bytes([128]) + with_crc(b"\xF7\x06\x00\x24\xA5\x5A") + exception(247, 0x06, 2))
    write("fuzz_trace", "bootloader", bytes([250]) + bytes(range(256)) * 2 + b"\x00\x00\x00" + b"\x07\xA5")


def config_file_corpus():
    def config(links, nodes, read=None):
        text = '{\n  "format": "imconf-configuration",\n  "version": 1,\n'
        if read is not None:
            text += '  "read": ' + read + ',\n'
        text += '  "links": [' + ", ".join(links) + '],\n  "nodes": [' + ", ".join(nodes) + ']\n}\n'
        return text.encode("utf-8")

    plain = ['{"indicator": %d, "value": "0x%04X", "text": "x"}' % (i + 1, i) for i in range(24)]
    write("fuzz_config_file", "read_file", config(
        plain, ['{"type": 22, "name": "СИРТА-16И", "address": 1}', '{"type": 8, "address": 2}'],
        '{"time": "2026-12-09T20:15:04Z", "port": "ttyUSB0", "address": 6, "baud": 9600}'))
    write("fuzz_config_file", "numbers_and_texts", config(
        ['{"value": %s}' % ("\"0x1205\"" if i % 3 else str(i)) for i in range(24)],
        ['{"type": "9", "address": "247"}'] * 12))
    write("fuzz_config_file", "too_many_loops", config(
        plain, ['{"type": 22, "address": 1}', '{"type": 24, "address": 2}', '{"type": 8, "address": 3}']))
    write("fuzz_config_file", "not_json", b'{"format": "imconf-configuration", "links": [')


if __name__ == "__main__":
    shutil.rmtree(OUT, ignore_errors=True)
    receive_corpus()
    image_corpus()
    builder_corpus()
    comports_corpus()
    network_ports_corpus()
    trace_corpus()
    config_file_corpus()
