#!/usr/bin/env python3
"""Writes the hand-made workbooks of this folder (run it from anywhere: python3 make_files.py).

Legacy workbooks are BIFF records in OLE2 compound files, laid out in order (directory, mini
FAT, mini stream, large streams, FAT) so that a file can be damaged at a known place; XLSX
packages are written member by member, so that a member can lie about itself. The other
workbooks of the folder come from third-party programs as they are.
"""
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
END, FREE = 0xFFFFFFFE, 0xFFFFFFFF


def put(value, width):
    return (value & ((1 << (8 * width)) - 1)).to_bytes(width, 'little')


def set32(data, at, value):
    data[at:at + 4] = put(value, 4)


def raw(text):
    return text if isinstance(text, bytes) else text.encode('utf-8')


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as out:
        out.write(bytes(data))


# BIFF records ------------------------------------------------------------------------------
BOF, FILEPASS, CODEPAGE, DATEMODE, SST, CONTINUE = 0x0809, 0x002F, 0x0042, 0x0022, 0x00FC, 0x003C
NUMBER, MULRK, BOOLERR, FORMULA, STRING = 0x0203, 0x00BD, 0x0205, 0x0006, 0x0207


def record(rid, body):
    return put(rid, 2) + put(len(body), 2) + bytes(body)


def bof(version=0x0600, kind=0x0010):
    return record(BOF, (put(version, 2) + put(kind, 2)).ljust(16 if version == 0x0600 else 8, b'\0'))


def eof():
    return record(0x000A, b'')


def string(text, count_bytes=2, biff8=True):
    """BIFF8: a flags byte for 8-bit characters, then the characters; BIFF5: the bytes alone."""
    text = raw(text)
    return put(len(text), count_bytes) + (b'\0' if biff8 else b'') + text


def cell(row, column, xf=0):
    return put(row, 2) + put(column, 2) + put(xf, 2)


def number(row, column, value, xf=0):
    return record(NUMBER, cell(row, column, xf) + struct.pack('<d', value))


def rk(row, column, value):
    return record(0x027E, cell(row, column) + put(value, 4))


def label(row, column, text, biff8=True):
    return record(0x0204, cell(row, column) + string(text, 2, biff8))


def label_sst(row, column, index):
    return record(0x00FD, cell(row, column) + put(index, 4))


def xf(format_id):
    return record(0x00E0, (b'\0\0' + put(format_id, 2)).ljust(20, b'\0'))


def number_format(format_id, code):
    return record(0x041E, put(format_id, 2) + string(code))


def sst(strings, claimed=0):
    return record(SST, put(len(strings), 4) + put(claimed or len(strings), 4) + b''.join(string(s) for s in strings))


def header(*names):
    return b''.join(label(0, column, name) for column, name in enumerate(names))


def workbook(globals_, sheets, version=0x0600):
    """BOF, the globals, one BOUNDSHEET per (name, records[, type]), EOF, then each sheet."""
    sheets = [sheet if len(sheet) == 3 else (*sheet, 0) for sheet in sheets]

    def bound_sheet(name, kind, offset):
        return record(0x0085, put(offset, 4) + bytes([0, kind]) + string(name, 1, version == 0x0600))

    offset = len(bof(version, 5)) + len(globals_) + len(eof())
    offset += sum(len(bound_sheet(name, kind, 0)) for name, _, kind in sheets)
    out = bof(version, 5) + globals_
    for name, records, kind in sheets:
        out += bound_sheet(name, kind, offset)
        offset += len(bof(version)) + len(records) + len(eof())
    out += eof()
    for _, records, _ in sheets:
        out += bof(version) + records + eof()
    return out


def sized_workbook(size):
    """A one-sheet workbook stream of exactly `size` bytes, its labels running to the end."""
    records, row = header('text'), 1
    fixed = len(workbook(b'', [('S', b'')])) + 13  # and a last label of the rest
    while size - fixed - len(records) > 13 + 53:
        text = 'r%04d-' % row + ''.join(chr(97 + (row * 7 + i) % 26) for i in range(34))
        records += label(row, 0, text)
        row += 1
    records += label(row, 0, 'z' * (size - fixed - len(records)))
    stream = workbook(b'', [('S', records)])
    assert len(stream) == size
    return stream


# OLE2 compound files -----------------------------------------------------------------------
class CompoundFile:
    """Streams below `cutoff` bytes live in the mini stream; build() records where things went."""

    def __init__(self, streams, storages=(), shift=9, cutoff=4096):
        self.streams, self.storages, self.shift, self.cutoff = streams, storages, shift, cutoff

    def sector_size(self):
        return 1 << self.shift

    def offset_of(self, sector):
        return (sector + 1) * self.sector_size()

    def fat_entry_offset(self, i):
        per = self.sector_size() // 4
        return self.offset_of(self.fat_sectors[i // per]) + 4 * (i % per)

    def slot_offset(self, i):
        return self.offset_of(self.directory_start) + 128 * i

    def build(self):
        size = self.sector_size()
        body, fat = bytearray(), []

        def chain(data):
            if not data:
                return END
            first = len(fat)
            body.extend(data)
            body.extend(b'\0' * (-len(body) % size))
            while len(fat) < len(body) // size:
                fat.append(len(fat) + 1)
            fat[-1] = END
            return first

        mini_stream, mini_fat = bytearray(), bytearray()
        self.stream_starts = [END] * len(self.streams)
        for i, (_, data) in enumerate(self.streams):
            if len(data) >= self.cutoff or not data:
                continue
            self.stream_starts[i] = len(mini_stream) // 64
            for _ in range(64, len(data), 64):
                mini_fat += put(len(mini_fat) // 4 + 1, 4)
            mini_fat += put(END, 4)
            mini_stream += data + b'\0' * (-len(data) % 64)
        self.directory_start = chain(bytes(128 * (1 + len(self.streams) + len(self.storages))))
        self.mini_fat_start = chain(mini_fat)
        mini_stream_start = chain(mini_stream)
        for i, (_, data) in enumerate(self.streams):
            if len(data) >= self.cutoff:
                self.stream_starts[i] = chain(data)

        directory = bytearray()

        def slot(name, kind, start, length):
            entry = bytearray(128)
            for i, c in enumerate(name):
                entry[2 * i] = ord(c)
            entry[64], entry[66] = 2 * len(name) + 2, kind
            set32(entry, 116, start)
            set32(entry, 120, length)
            directory.extend(entry)

        slot('Root Entry', 5, mini_stream_start, len(mini_stream))
        for (name, data), start in zip(self.streams, self.stream_starts):
            slot(name, 2, start, len(data))
        for name in self.storages:
            slot(name, 1, END, 0)
        at = self.directory_start * size
        body[at:at + len(directory)] = directory

        per = size // 4
        self.fat_sectors = []
        while len(self.fat_sectors) * per < len(fat):
            self.fat_sectors.append(len(fat))
            fat.append(0xFFFFFFFD)
        fat += [FREE] * (len(self.fat_sectors) * per - len(fat))
        for entry in fat:
            body += put(entry, 4)

        head = bytearray(size)
        head[0:8] = bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1])
        head[26], head[30], head[32] = (3 if self.shift == 9 else 4), self.shift, 6
        for at, value in ((44, len(self.fat_sectors)), (48, self.directory_start), (56, self.cutoff),
                          (60, self.mini_fat_start), (68, END)):
            set32(head, at, value)
        for i in range(109):
            set32(head, 76 + 4 * i, self.fat_sectors[i] if i < len(self.fat_sectors) else FREE)
        return head + body


def xls(name, stream, **options):
    write(name, CompoundFile([('Workbook', stream)], **options).build())


def compound_files():
    # Streams from the mini stream and from the FAT, around the cutoff, at either sector size;
    # a storage of the wanted name is no stream, and names match in any case.
    for shift in (9, 12):
        write('cfb_%d_mini_4095.xls' % shift,
              CompoundFile([('BOOK', sized_workbook(4095)), ('Empty', b'')], ['Workbook'], shift).build())
        write('cfb_%d_fat_4096.xls' % shift, CompoundFile([('WORKBOOK', sized_workbook(4096))], shift=shift).build())
        write('cfb_%d_fat_20000.xls' % shift, CompoundFile([('workbook', sized_workbook(20000))], shift=shift).build())
        # Garbage in a size's high half counts only with sectors larger than 512 bytes.
        builder = CompoundFile([('Workbook', sized_workbook(5000))], shift=shift)
        data = builder.build()
        set32(data, builder.slot_offset(1) + 124, 0xDEADBEEF)
        write('cfb_%d_size_high_half.xls' % shift, data)
    xls('cfb_empty_stream.xls', b'')

    # A free entry amid the header's FAT sector list is skipped, not taken as its end.
    builder = CompoundFile([('Workbook', sized_workbook(80000))])
    data = builder.build()
    assert len(builder.fat_sectors) == 2
    set32(data, 80, FREE)
    set32(data, 84, builder.fat_sectors[1])
    write('cfb_free_fat_list_entry.xls', data)

    # Damage and cycles, each the damaged error: the workbook in the FAT, then in the mini stream.
    builder = CompoundFile([('Workbook', sized_workbook(6000)), ('Mini', bytes(range(256)) + bytes(44))])
    good = builder.build()
    big, past = builder.stream_starts[0], len(good) // 512 + 3

    def difat_loop(f):
        set32(f, 68, builder.fat_sectors[0])
        set32(f, builder.offset_of(builder.fat_sectors[0]) + 508, builder.fat_sectors[0])

    damage = {
        'sector_shift_10': lambda f: f.__setitem__(30, 10),
        'mini_shift_not_below_shift': lambda f: f.__setitem__(32, 9),
        'mini_shift_1': lambda f: f.__setitem__(32, 1),
        'fat_count_beyond_file': lambda f: set32(f, 44, 1000),
        'fat_sector_past_end': lambda f: set32(f, 76, past),
        'directory_start_marker': lambda f: set32(f, 48, 0xFFFFFFFD),
        'fat_chain_loops': lambda f: set32(f, builder.fat_entry_offset(big + 2), big),
        'fat_chain_ends_early': lambda f: set32(f, builder.fat_entry_offset(big + 2), END),
        'fat_chain_past_file': lambda f: set32(f, builder.fat_entry_offset(big + 2), past),
        'directory_chain_loops': lambda f: set32(f, builder.fat_entry_offset(builder.directory_start),
                                                 builder.directory_start),
        'difat_never_ends': difat_loop,
        'stream_size_beyond_file': lambda f: set32(f, builder.slot_offset(1) + 120, 0x7FFFFFFF),
    }
    for what, corrupt in damage.items():
        data = bytearray(good)
        corrupt(data)
        write('cfb_damaged_%s.xls' % what, data)
    builder = CompoundFile([('Other', bytes(6000)), ('Workbook', sized_workbook(300))])
    data = builder.build()
    set32(data, builder.offset_of(builder.mini_fat_start) + 4, 0)
    write('cfb_damaged_mini_fat_chain_loops.xls', data)


def biff_streams():
    # Old, unknown, unsupported, too short and encrypted streams.
    def with_bof(rid, version):
        return record(rid, put(version, 2).ljust(16, b'\0')) + eof()

    for rid in (0x0009, 0x0209, 0x0409):
        xls('biff_old_bof_%04x.xls' % rid, with_bof(rid, 0x0600))
    xls('biff_unknown_stream.xls', with_bof(0x1234, 0x0600))
    xls('biff_version_0400.xls', with_bof(BOF, 0x0400))
    xls('biff_four_bytes.xls', bytes([0x09, 0x08, 0, 0]))
    xls('biff_encrypted.xls', workbook(record(FILEPASS, bytes(6)), [('S', label(0, 0, 'x'))]))

    # "abcde\u20ac": three 8-bit characters, then a CONTINUE restating the width as 16-bit; a
    # reference past the table.
    first = put(2, 4) + put(2, 4) + bytes([6, 0, 0]) + b'abc'
    strings = (record(SST, first) + record(CONTINUE, bytes([1, ord('d'), 0, ord('e'), 0, 0xAC, 0x20])) +
               record(CONTINUE, string('second')))
    xls('biff_sst_continue.xls', workbook(strings, [('S', header('a', 'b', 'c') + label_sst(1, 0, 0) +
                                                           label_sst(1, 1, 1) + label_sst(1, 2, 9))]))
    # A table claiming more strings than it holds, up to 2^32 - 1, keeps those it has.
    for claimed in (3, 0xFFFFFFFF):
        xls('biff_sst_claims_%x.xls' % claimed, workbook(sst(['a', 'b'], claimed), [('S', header('h') + label_sst(1, 0, 1))]))
    # A string cut short by the end of its CONTINUE records, however many empty ones follow;
    # a 16-bit character split across two records.
    cut = bytearray(sst(['abc']))
    cut[4 + 8] = 200
    xls('biff_sst_cut_string.xls', workbook(bytes(cut) + bytes([0x3C, 0, 0, 0]) * 100000, []))
    split = record(SST, [1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 1, ord('a')]) + record(CONTINUE, [0, 1])
    xls('biff_sst_split_character.xls', workbook(split, []))

    # Cells: a later record replaces a cell; past the last column, empty labels and an
    # embedded chart's cells are no cells; MULRK runs; a sheet without cells is no table.
    xls('biff_cells.xls', workbook(b'', [('S', label(0, 0, 'A1') + label(0, 1, 'B1') + number(1, 0, 1.5) +
                                           rk(1, 1, 0x0000000A) + number(2, 0, 3) + label(2, 1, 'old') +
                                           label(2, 1, 'new') + label(6, 3, 'D7') +
                                           label(3, 256, 'past the last column') + label(4, 0, '') +
                                           bof(0x0600, 0x20) + label(5, 0, 'in an embedded chart') + eof())]))
    mulrk = cell(1, 2)[:4] + b''.join(put(0, 2) + put(value, 4) for value in (4 << 2 | 2, 5 << 2 | 2, 0x3FF80001))
    xls('biff_mulrk.xls', workbook(b'', [('S', header('a', 'b') + record(MULRK, mulrk + put(4, 2)))]))
    xls('biff_no_cells.xls', workbook(b'', [('S', b'')]))

    # Booleans, errors and formula results: a number, a boolean, an error, the string of a
    # STRING record (a stray one ignored) and an empty string.
    def bool_err(column, value, is_error):
        return record(BOOLERR, cell(1, column) + bytes([value, is_error]))

    def formula(column, kind, value):
        return record(FORMULA, cell(1, column) + bytes([kind, 0, value, 0, 0, 0, 0xFF, 0xFF]) + bytes(8))

    cached = bytearray(number(1, 4, 2.25))
    cached[0:2] = put(FORMULA, 2)  # a FORMULA's cached number sits where a NUMBER's value does
    xls('biff_booleans_errors_formulas.xls', workbook(b'', [('S', header('a') + bool_err(0, 1, 0) + bool_err(1, 0, 0) +
        bool_err(2, 0x07, 1) + bool_err(3, 0x99, 1) + bytes(cached) + formula(5, 1, 1) + formula(6, 2, 0x2A) +
        formula(7, 0, 0) + record(STRING, string('from formula')) + record(STRING, string('stray')) +
        formula(8, 3, 0))]))

    # Dates follow the cell format (custom, built-in time, none, a format that is not there);
    # the 1904 date system.
    formats = number_format(164, 'yyyy-mm-dd') + xf(0) + xf(164) + xf(20)
    xls('biff_dates.xls', workbook(formats, [('S', header('when', 'mixed', 'time', 'zero') +
        number(1, 0, 45322, 1) + number(1, 1, 45322, 1) + number(1, 2, 0.75, 2) + number(1, 3, 0, 1) +
        number(2, 0, 60, 1) + number(2, 1, 7, 0) + number(2, 2, 0, 9))]))
    xls('biff_dates_1904.xls', workbook(formats + record(DATEMODE, [1, 0]), [('S', header('d') + number(1, 0, 0, 1))]))

    # BIFF5 byte strings in the workbook's code page.
    for page, text in ((1251, b'\xCF\xF0\xE8\xE2\xE5\xF2'), (932, b'\x93\xFA\x96\x7B'), (1252, b'caf\xE9')):
        stream = workbook(record(CODEPAGE, put(page, 2)), [('S', label(0, 0, 'h', False) + label(1, 0, text, False))],
                          0x0500)
        xls('biff5_code_page_%d.xls' % page, stream)

    # A record longer than what is left of the stream, a cell record too short for its fields,
    # sheet offsets that lead nowhere, and 50 sheets over one run of nested BOFs.
    xls('biff_record_past_end.xls', workbook(b'', [('S', bytes([0x04, 0x02, 0xFF, 0x00, 1]))]))
    xls('biff_short_number.xls', workbook(b'', [('S', record(NUMBER, bytes(13)))]))
    good = workbook(b'', [('S', label(0, 0, 'x')), ('Chart', b'', 2)])
    field = len(bof(0x0600, 5)) + 4
    for what, offset in (('2', 2), ('near_end', len(good) - 2), ('huge', 0xFFFFFFF0)):
        stream = bytearray(good)
        set32(stream, field, offset)
        xls('biff_sheet_offset_%s.xls' % what, stream)
    stream = bytearray(workbook(b'', [('S', b'')] * 50))
    for i in range(50):  # each BOUNDSHEET takes 13 bytes
        set32(stream, field + i * 13, len(stream))
    xls('biff_overlapping_sheets.xls', bytes(stream) + bof() * 50 + bytes(20000))

    # 4,000 empty shared strings, which cost their bookkeeping.
    xls('empty_shared_strings.xls', workbook(sst([''] * 4000), [('S', label(0, 0, 'h'))]))


# XLSX packages -----------------------------------------------------------------------------
SPREADSHEET_ML = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'


def workbook_xml(sheets):
    listed = ''.join('<sheet name="%s" sheetId="1" r:id="%s"/>' % sheet for sheet in sheets)
    return ('<workbook xmlns="%s" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
            '<sheets>%s</sheets></workbook>' % (SPREADSHEET_ML, listed))


def sheet_xml(rows):
    """Cells "" (none), "#n" (the number n), "@n" (shared string n) or text."""
    out = '<worksheet xmlns="%s"><sheetData>' % SPREADSHEET_ML
    for row in rows:
        out += '<row>'
        for i, value in enumerate(row):
            ref = 'r="%s1"' % chr(65 + i)
            if value.startswith('#'):
                out += '<c %s><v>%s</v></c>' % (ref, value[1:])
            elif value.startswith('@'):
                out += '<c %s t="s"><v>%s</v></c>' % (ref, value[1:])
            elif value:
                out += '<c %s t="inlineStr"><is><t>%s</t></is></c>' % (ref, value)
        out += '</row>'
    return out + '</sheetData></worksheet>'


def member(name, content, deflate=False, **lies):
    """A ZIP member; `lies` overrides the method, sizes, flags or checksum it records."""
    content = raw(content)
    data = content
    if deflate:
        compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
        data = compressor.compress(content) + compressor.flush()
    fields = dict(name=raw(name), data=data, method=8 if deflate else 0, size=len(content), flags=0,
                  crc=zlib.crc32(content))
    fields.update(lies)
    return fields


def zip_archive(members):
    out, directory = bytearray(), bytearray()
    for m in members:
        common = (put(m['flags'], 2) + put(m['method'], 2) + put(0, 4) + put(m['crc'], 4) + put(len(m['data']), 4) +
                  put(m['size'], 4) + put(len(m['name']), 2) + put(0, 2))
        directory += put(0x02014B50, 4) + put(20, 2) + put(20, 2) + common + bytes(10) + put(len(out), 4) + m['name']
        out += put(0x04034B50, 4) + put(20, 2) + common + m['name'] + m['data']
    count = put(len(members), 2)
    return out + directory + put(0x06054B50, 4) + bytes(4) + count + count + put(len(directory), 4) + \
        put(len(out), 4) + put(0, 2)


def xlsx_book(sheets, shared=(), others=()):
    members = list(others) + [member('xl/workbook.xml', workbook_xml([(name, 'rId%d' % i) for i, (name, _) in enumerate(sheets, 1)])),
               member('xl/sharedStrings.xml', '<sst>%s</sst>' % ''.join('<si><t>%s</t></si>' % s for s in shared), True)]
    members += [member('xl/worksheets/sheet%d.xml' % i, sheet_xml(rows), True) for i, (_, rows) in enumerate(sheets, 1)]
    return zip_archive(members)


def xls_book(sheets, shared=()):
    streams = []
    for name, rows in sheets:
        records = b''
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                if value.startswith('#'):
                    records += number(r, c, float(value[1:]))
                elif value.startswith('@'):
                    records += label_sst(r, c, int(value[1:]))
                elif value:
                    records += label(r, c, value)
        streams.append((name, records))
    return CompoundFile([('Workbook', workbook(sst(list(shared)) if shared else b'', streams))]).build()


def packages():
    # Sheets that cannot be read stay listed, each with its reason; a part that breaks off
    # keeps the rows before the break.
    bomb = '<!DOCTYPE worksheet [<!ENTITY l0 "lol">' + ''.join(
        '<!ENTITY l%d "%s">' % (level, ('&l%d;' % (level - 1)) * 10) for level in range(1, 10))
    whole = sheet_xml([['a'], ['#1'], ['#2']])
    names = ['fine', 'bzip', 'lies', 'locked', 'laughs', 'garbage', 'gone', 'cut']
    members = [member('xl/workbook.xml', workbook_xml([(name, 'rId%d' % i) for i, name in enumerate(names, 1)])),
               member('xl/worksheets/sheet1.xml', sheet_xml([['a'], ['#1']])),
               member('xl/worksheets/sheet2.xml', sheet_xml([['a']]), method=12),
               member('xl/worksheets/sheet3.xml', 'x', True, size=2000000000),
               member('xl/worksheets/sheet4.xml', sheet_xml([['a']]), flags=1),
               member('xl/worksheets/sheet5.xml', bomb + ']><worksheet><sheetData><row><c t="inlineStr"><is><t>&l9;'
                      '</t></is></c></row></sheetData></worksheet>'),
               member('xl/worksheets/sheet6.xml', 'no XML at all'),
               member('xl/worksheets/sheet8.xml', whole[:whole.find('<v>2')])]
    write('unreadable_sheets.xlsx', zip_archive(members))
    # Shared strings that are there but cannot be extracted fail the open.
    write('unreadable_shared_strings.xlsx', zip_archive(members + [member('xl/sharedStrings.xml', '<sst/>', method=12)]))
    write('only_missing_sheets.xlsx', zip_archive([member('xl/workbook.xml', workbook_xml([('gone', 'rId1')]))]))

    # The largest sheets Excel allows: 1,048,576 rows of one cell are all staged; 16,384
    # columns are more than a table can have.
    tall = '<worksheet xmlns="%s"><sheetData>' % SPREADSHEET_ML + '<row><c><v>1</v></c></row>' * 1048576
    write('excel_most_rows.xlsx', zip_archive([member('xl/workbook.xml', workbook_xml([('tall', 'rId1')])),
                                               member('xl/worksheets/sheet1.xml',
                                                      tall + '</sheetData></worksheet>', True)]))
    wide = ''.join('<c><v>%d</v></c>' % column for column in range(16384))
    write('excel_most_columns.xlsx', zip_archive([
        member('xl/workbook.xml', workbook_xml([('wide', 'rId1')])),
        member('xl/worksheets/sheet1.xml', '<worksheet xmlns="%s"><sheetData><row>%s</row></sheetData></worksheet>' %
               (SPREADSHEET_ML, wide), True)]))

    # Rows 1..1000 of an id, a label and a number: past the first 200, a text in the number
    # column and a fourth column, which only a full open sees; and exactly 200 such rows.
    def numbered(count):
        return [['id', 'label', 'v']] + [['#%d' % i, 'item-%d' % i, '#%d' % i] for i in range(1, count + 1)]

    big = numbered(1000)
    big[300][2] = 'text'
    big[500].append('#1')
    write('preview_rows.xlsx', xlsx_book([('big', big), ('exact', numbered(200))]))

    # One shared string of 8,000 characters named by 100 and by 200 cells, in both forms.
    for cells in (100, 200):
        rows = [['h']] + [['@0']] * cells
        write('repeated_string_%d.xlsx' % cells, xlsx_book([('S', rows)], ['x' * 8000]))
        write('repeated_string_%d.xls' % cells, xls_book([('S', rows)], ['x' * 8000]))


def limits():
    """Workbooks only the driver's tests open, with budgets of their own (limits/)."""
    os.makedirs(os.path.join(HERE, 'limits'), exist_ok=True)
    # One shared string of 2 MB named by 300 cells.
    write('limits/amplified_string.xlsx', xlsx_book([('refs', [['@1']] + [['@0']] * 300)], ['s' * (2 << 20), 'h']))
    # One shared string of 20,000 characters named by 50 cells, alone in a package of a few
    # hundred bytes and beside 16 KB of bytes that do not compress.
    amplified = [('refs', [['h']] + [['@0']] * 50)]
    write('limits/amplified_small.xlsx', xlsx_book(amplified, ['a' * 20000]))
    padding = member('docProps/padding.bin', random.Random(1).randbytes(16384))
    write('limits/amplified_padded.xlsx', xlsx_book(amplified, ['a' * 20000], [padding]))
    # Twenty sheets of one part of 300 KB.
    relationships = ''.join('<Relationship Id="rId%d" Target="worksheets/one.xml"/>' % k for k in range(1, 21))
    write('limits/one_part_twenty_sheets.xlsx', zip_archive([
        member('xl/workbook.xml', workbook_xml([('s%d' % k, 'rId%d' % k) for k in range(1, 21)])),
        member('xl/_rels/workbook.xml.rels', '<Relationships>%s</Relationships>' % relationships),
        member('xl/worksheets/one.xml', sheet_xml([['h'], ['x' * 300000]]), True)]))
    # Workbook parts listing 1,024 and 1,025 sheets; styles parts of 64 MB and a byte more.
    for count in (1024, 1025):
        listing = '<workbook><sheets>%s</sheets></workbook>' % ('<sheet/>' * count)
        write('limits/sheets_%d.xlsx' % count, zip_archive([member('xl/workbook.xml', listing)]))
    for size in (64 << 20, (64 << 20) + 1):
        write('limits/styles_%d.xlsx' % size, zip_archive([member('xl/workbook.xml', workbook_xml([('a', 'rId1')])),
                                                           member('xl/styles.xml', 'x', True, size=size)]))
    # Parts larger than a budget of 1 MB: 40,000 rows of a number, a text and a number, after
    # no blanks, after 1 MB of them, and after 600 KB of them in each of two sheets.
    tall = '<row><c><v>1</v></c><c t="inlineStr"><is><t>item</t></is></c><c><v>2</v></c></row>' * 40000
    for name, sheets in (('tall', [('tall', 0)]), ('padded', [('padded', 1 << 20)]),
                         ('two_halves', [('first', 600000), ('second', 600000)])):
        members = [member('xl/workbook.xml', workbook_xml([(sheet, 'rId%d' % i) for i, (sheet, _) in
                                                           enumerate(sheets, 1)]))]
        members += [member('xl/worksheets/sheet%d.xml' % i, '<worksheet xmlns="%s"><sheetData>%s%s</sheetData>'
                           '</worksheet>' % (SPREADSHEET_ML, ' ' * blanks, tall), True)
                    for i, (_, blanks) in enumerate(sheets, 1)]
        write('limits/%s_part.xlsx' % name, zip_archive(members))
    # Damage within what a preview reads (a part cut short, a size that lies, a checksum that
    # does not match) and past it, in a part of more than a chunk.
    small = sheet_xml([['a'], ['#1'], ['#2']])
    names = [('cut', 'rId1'), ('lies', 'rId2'), ('checksum', 'rId3'), ('late', 'rId4')]
    cut = member('xl/worksheets/sheet1.xml', small, True)
    cut['data'] = cut['data'][:len(cut['data']) // 2]
    lies = member('xl/worksheets/sheet2.xml', small, True)
    lies['size'] += 5
    checksum = member('xl/worksheets/sheet3.xml', small, True)
    checksum['crc'] ^= 1
    rows = [['id', 'label', 'v']] + [['#1', 'item', '#2']] * 6000
    late = member('xl/worksheets/sheet4.xml', sheet_xml(rows), True)
    late['crc'] ^= 1
    write('limits/damaged_parts.xlsx', zip_archive([member('xl/workbook.xml', workbook_xml(names)), cut, lies,
                                                    checksum, late]))


compound_files()
biff_streams()
packages()
limits()
