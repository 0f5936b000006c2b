"""A shipped program's headers and resources, read as the Windows 95 and NT 4.0 loaders read them.

check-compat imports this file. It reads a PE file with struct alone (no outside parser, so the
check sees exactly the bytes the loader sees and nothing is hidden behind a library's leniency)
and holds one function per rule group, each returning (reasons it fails, summary). The rules are
for the 32-bit programs: a 64-bit file is refused by read_image with a reason, not half-checked.

- versions: subsystem and OS version at most 4.0. The loaders refuse a program whose subsystem
  version is above their own ("not a valid Win32 application"); linkers other than Debian's
  binutils default to 6.0.
- alignment: sections at 0x1000 (the page) and file data at 0x200 (the sector), every section
  placed on them. Windows 95 reads sections from the file in sectors and refuses smaller file
  alignments; 0x200 is what this build writes, so any other value means the toolchain changed.
- import address table: the loaders write the imported addresses into it as they find it, so
  every DLL's table must lie in a writable section.
- directories: no TLS (Windows 95 calls no TLS callbacks, and the programs link no runtime that
  would need them), no bound imports (addresses worked out for one build of the system's DLLs)
  and no load configuration (its layout grew with each NT release; the programs need none).
  The delay-import directory is refused by the imports check.
- relocations: the blocks must tile the directory, start on 32-bit boundaries and hold only
  IMAGE_REL_BASED_HIGHLOW fixups inside the image, padded with ABSOLUTE. Any other kind (DIR64
  is for 64-bit images; HIGH, LOW and HIGHADJ come from no 32-bit x86 linker) means the
  toolchain changed.
- checksum: the optional header's CheckSum equals the PE checksum of the file (what
  CheckSumMappedFile computes), so a file altered after the link shows it.
- icons: every RT_ICON image an uncompressed DIB of 1, 4, 8, 16 or 24 bits (no PNG image, which
  only Vista and later read, and no 32-bit image with alpha, which Windows before XP does not
  draw), each matching its icon group's entry.
- version resource: VS_VERSIONINFO with its VS_FIXEDFILEINFO, every block's wLength inside its
  parent, its value inside itself, its children filling the rest: VerQueryValue walks the
  blocks by those lengths.
"""
import struct

MACHINE_I386 = 0x14c
PE32_MAGIC = 0x10b
SCN_MEM_WRITE = 0x80000000
SECTION_ALIGNMENT = 0x1000
FILE_ALIGNMENT = 0x200
HIGHEST_VERSION = (4, 0)
# Offsets of the fields read here in a PE32 optional header (CheckSum is at 64 in PE32+ too).
SECTION_ALIGNMENT_FIELD, FILE_ALIGNMENT_FIELD = 32, 36
OS_VERSION_FIELD, SUBSYSTEM_VERSION_FIELD = 40, 48
CHECKSUM_FIELD = 64
DIRECTORIES_FIELD = 96
SECTION_HEADER_SIZE = 40
DIR_IMPORT, DIR_RESOURCE, DIR_BASERELOC = 1, 2, 5
DIR_TLS, DIR_LOAD_CONFIG, DIR_BOUND_IMPORT, DIR_IAT = 9, 10, 11, 12
REFUSED_DIRECTORIES = ((DIR_TLS, 'TLS'), (DIR_BOUND_IMPORT, 'bound-import'),
                       (DIR_LOAD_CONFIG, 'load-configuration'))
REL_BASED_ABSOLUTE, REL_BASED_HIGHLOW = 0, 3
RELOCATION_NAMES = {0: 'ABSOLUTE', 1: 'HIGH', 2: 'LOW', 3: 'HIGHLOW', 4: 'HIGHADJ',
                    5: 'MIPS_JMPADDR/ARM_MOV32', 7: 'THUMB_MOV32', 9: 'MIPS_JMPADDR16', 10: 'DIR64'}
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
PNG_SIGNATURE = b'\x89PNG\r\n\x1a\n'
BITMAPINFOHEADER_SIZE = 40
BI_RGB = 0
ICON_BIT_COUNTS = (1, 4, 8, 16, 24)
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD
VS_FIXEDFILEINFO_SIZE = 52
SUBSYSTEM_NAMES = {2: 'windows', 3: 'console'}


class Image:
    """A PE32 file's bytes and what its headers say, with the offsets the self-test patches."""

    def __init__(self, data):
        self.data = data
        self.pe = u32(data, 0x3c)
        if data[:2] != b'MZ' or data[self.pe:self.pe + 4] != b'PE\0\0':
            raise ValueError('no MZ and PE signatures: not a Windows program')
        (self.machine, count, _, _, _, optional_size, _) = struct.unpack_from(
            '<HHIIIHH', data, self.pe + 4)
        self.optional = self.pe + 24
        magic = u16(data, self.optional)
        if magic != PE32_MAGIC or self.machine != MACHINE_I386:
            raise ValueError(f'a {"PE32+" if magic == 0x20b else hex(magic)} file for machine '
                             f'0x{self.machine:x}: these rules are for the 32-bit programs '
                             f'(build/windows)')
        o = self.optional
        self.section_alignment, self.file_alignment = struct.unpack_from(
            '<II', data, o + SECTION_ALIGNMENT_FIELD)
        self.os_version = struct.unpack_from('<HH', data, o + OS_VERSION_FIELD)
        self.subsystem_version = struct.unpack_from('<HH', data, o + SUBSYSTEM_VERSION_FIELD)
        self.size_of_image, self.size_of_headers, self.checksum, self.subsystem = \
            struct.unpack_from('<IIIH', data, o + 56)
        directory_count = u32(data, o + 92)
        self.directories = [struct.unpack_from('<II', data, o + DIRECTORIES_FIELD + 8 * i)
                            for i in range(min(directory_count, 16))]
        self.directories += [(0, 0)] * (16 - len(self.directories))
        self.sections = []
        for i in range(count):
            at = self.optional + optional_size + SECTION_HEADER_SIZE * i
            name, vsize, va, raw_size, raw_pointer = struct.unpack_from('<8sIIII', data, at)
            flags = u32(data, at + 36)
            self.sections.append({'name': name.rstrip(b'\0').decode('latin-1'), 'vsize': vsize,
                                  'va': va, 'raw_size': raw_size, 'raw_pointer': raw_pointer,
                                  'flags': flags, 'header': at})

    def directory(self, index):
        return self.directories[index]

    def section_of(self, rva, size=1):
        """The section whose memory holds [rva, rva + size), or None."""
        for s in self.sections:
            if s['va'] <= rva and rva + size <= s['va'] + max(s['vsize'], s['raw_size']):
                return s
        return None

    def offset(self, rva, size=1):
        """File offset of [rva, rva + size), which must lie in a section's file data."""
        s = self.section_of(rva, size)
        if not s or rva + size > s['va'] + s['raw_size']:
            raise ValueError(f'RVA 0x{rva:x} (0x{size:x} bytes) is not in the file')
        return s['raw_pointer'] + rva - s['va']

    def bytes_at(self, rva, size):
        at = self.offset(rva, size)
        return self.data[at:at + size]


def u16(data, at):
    return struct.unpack_from('<H', data, at)[0]


def u32(data, at):
    return struct.unpack_from('<I', data, at)[0]


def align4(n):
    return (n + 3) & ~3


def read_image(data):
    """(Image, None), or (None, the reason the file cannot be read as a 32-bit program)."""
    try:
        return Image(data), None
    except (ValueError, struct.error) as e:
        return None, str(e) if isinstance(e, ValueError) else f'truncated headers ({e})'


def pe_checksum(data, field):
    """The PE checksum: 16-bit words summed with end-around carry, the CheckSum field taken as
    zero, plus the file's length."""
    padded = bytes(data[:field]) + b'\0\0\0\0' + bytes(data[field + 4:])
    if len(padded) % 2:
        padded += b'\0'
    total = sum(struct.unpack(f'<{len(padded) // 2}H', padded))
    while total >> 16:
        total = (total & 0xffff) + (total >> 16)
    return total + len(data)


def check_versions(image):
    problems = []
    for what, version in (('subsystem', image.subsystem_version), ('OS', image.os_version)):
        if tuple(version) > HIGHEST_VERSION:
            problems.append(f'{what} version {version[0]}.{version[1]}: the Windows 95 and NT 4.0 '
                            f'loaders refuse anything above 4.0')
    subsystem = SUBSYSTEM_NAMES.get(image.subsystem, f'subsystem {image.subsystem}')
    return problems, (f'{subsystem} {image.subsystem_version[0]}.{image.subsystem_version[1]}, '
                      f'OS {image.os_version[0]}.{image.os_version[1]}')


def check_alignment(image):
    problems = []
    for what, value, wanted in (('section', image.section_alignment, SECTION_ALIGNMENT),
                                ('file', image.file_alignment, FILE_ALIGNMENT)):
        if value != wanted:
            problems.append(f'{what} alignment 0x{value:x}, not 0x{wanted:x}')
    for s in image.sections:
        if s['va'] % SECTION_ALIGNMENT:
            problems.append(f'section {s["name"]} at RVA 0x{s["va"]:x}, not on a 0x1000 boundary')
        if s['raw_pointer'] % FILE_ALIGNMENT or s['raw_size'] % FILE_ALIGNMENT:
            problems.append(f'section {s["name"]} at file offset 0x{s["raw_pointer"]:x}, '
                            f'0x{s["raw_size"]:x} bytes: not in whole 0x200 blocks')
    return problems, (f'sections 0x{image.section_alignment:x}, file 0x{image.file_alignment:x}, '
                      f'{len(image.sections)} sections placed on them')


def import_address_tables(image):
    """[(dll, rva, size)] of each import descriptor's address table (FirstThunk)."""
    rva, size = image.directory(DIR_IMPORT)
    tables = []
    if not size:
        return tables
    for at in range(rva, rva + size, 20):
        original, _, _, name, first = struct.unpack('<IIIII', image.bytes_at(at, 20))
        if not (original or name or first):
            break
        end = name
        while image.bytes_at(end, 1) != b'\0':
            end += 1
        dll = image.bytes_at(name, end - name).decode('latin-1')
        count = 0
        while u32(image.bytes_at(first + 4 * count, 4), 0):
            count += 1
        tables.append((dll, first, 4 * (count + 1)))
    return tables


def check_import_address_table(image):
    try:
        tables = import_address_tables(image)
    except (ValueError, struct.error) as e:
        return [f'import directory unreadable: {e}'], 'unreadable'
    dlls = len(tables)
    rva, size = image.directory(DIR_IAT)
    if size:
        tables.append(('the IAT directory', rva, size))
    problems, homes = [], set()
    for what, rva, size in tables:
        s = image.section_of(rva, size)
        if not s:
            problems.append(f'{what}: address table at RVA 0x{rva:x} is in no section')
        elif not s['flags'] & SCN_MEM_WRITE:
            problems.append(f'{what}: address table at RVA 0x{rva:x} is in {s["name"]}, which is '
                            f'not writable (flags 0x{s["flags"]:08x})')
        else:
            homes.add(s['name'])
    if not tables:
        return problems, 'no imports'
    return problems, (f'the tables of {dlls} DLL(s){" and the IAT directory" if size else ""} in '
                      f'{", ".join(sorted(homes)) or "no section"}, writable')


def check_directories(image):
    problems = [f'has a {name} directory (RVA 0x{image.directory(i)[0]:x}, '
                f'0x{image.directory(i)[1]:x} bytes)'
                for i, name in REFUSED_DIRECTORIES if any(image.directory(i))]
    return problems, 'no TLS, bound-import or load-configuration directory'


def check_relocations(image):
    rva, size = image.directory(DIR_BASERELOC)
    if not size:
        return [], 'none'
    try:
        table = image.bytes_at(rva, size)
    except ValueError as e:
        return [f'relocation directory: {e}'], 'unreadable'
    problems, at, blocks, fixups = [], 0, 0, 0
    while at < size:
        if at + 8 > size:
            problems.append(f'block at 0x{at:x}: {size - at} bytes left, too few for a header')
            break
        page, block_size = struct.unpack_from('<II', table, at)
        if block_size < 8 or block_size % 4 or at + block_size > size:
            problems.append(f'block at 0x{at:x} (page 0x{page:x}): size {block_size} is not a '
                            f'multiple of 4 of at least 8 within the directory\'s {size} bytes')
            break
        blocks += 1
        for entry in struct.unpack_from(f'<{(block_size - 8) // 2}H', table, at + 8):
            kind, target = entry >> 12, page + (entry & 0xfff)
            if kind == REL_BASED_ABSOLUTE:
                continue
            if kind != REL_BASED_HIGHLOW:
                problems.append(f'type {kind} ({RELOCATION_NAMES.get(kind, "unknown")}) at RVA '
                                f'0x{target:x}: only HIGHLOW belongs in a 32-bit image')
            elif not image.section_of(target, 4):
                problems.append(f'HIGHLOW at RVA 0x{target:x} is outside every section')
            fixups += 1
        at += block_size
    return problems, f'{fixups} HIGHLOW in {blocks} block(s)'


def check_checksum(image):
    computed = pe_checksum(image.data, image.optional + CHECKSUM_FIELD)
    if image.checksum != computed:
        return [f'CheckSum 0x{image.checksum:08x}, but the file sums to 0x{computed:08x}'], \
            'wrong'
    return [], f'0x{computed:08x}, as computed'


def read_resources(image):
    """{(type, name, language): (rva, size)} from the three-level resource tree; names given
    as strings are kept as strings."""
    root, size = image.directory(DIR_RESOURCE)
    found = {}
    if not size:
        return found

    def entries(offset):
        named, numbered = struct.unpack('<HH', image.bytes_at(root + offset + 12, 4))
        for i in range(named + numbered):
            key, target = struct.unpack('<II', image.bytes_at(root + offset + 16 + 8 * i, 8))
            if key & 0x80000000:
                length = u16(image.bytes_at(root + (key & 0x7fffffff), 2), 0)
                key = image.bytes_at(root + (key & 0x7fffffff) + 2, 2 * length).decode('utf-16-le')
            yield key, target

    for kind, at_name in entries(0):
        for name, at_language in entries(at_name & 0x7fffffff):
            for language, at_data in entries(at_language & 0x7fffffff):
                if at_data & 0x80000000:
                    raise ValueError(f'resource {kind}/{name}/{language} is a fourth level')
                data_rva, data_size = struct.unpack('<II', image.bytes_at(root + at_data, 8))
                found[(kind, name, language)] = (data_rva, data_size)
    return found


def resources_or_reason(image):
    try:
        return read_resources(image), None
    except (ValueError, struct.error) as e:
        return None, f'resource directory unreadable: {e}'


def icon_format(data):
    """(width, height, bits, reason or None) of one RT_ICON image."""
    if data[:8] == PNG_SIGNATURE:
        return 0, 0, 0, 'a PNG image, which only Windows Vista and later read'
    if len(data) < BITMAPINFOHEADER_SIZE:
        return 0, 0, 0, f'{len(data)} bytes, too few for a BITMAPINFOHEADER'
    header, width, height, planes, bits, compression = struct.unpack_from('<IiiHHI', data)
    if header != BITMAPINFOHEADER_SIZE or planes != 1:
        return width, height // 2, bits, f'header size {header}, {planes} planes: not a DIB icon'
    if bits == 32:
        return (width, height // 2, bits,
                'a 32-bit (alpha) image, which Windows before XP does not draw')
    if bits not in ICON_BIT_COUNTS:
        return width, height // 2, bits, f'{bits} bits per pixel'
    if compression != BI_RGB:
        return width, height // 2, bits, f'compression {compression}, not BI_RGB'
    return width, height // 2, bits, None


def check_icons(image):
    resources, reason = resources_or_reason(image)
    if reason:
        return [reason], 'unreadable'
    problems, formats, images = [], {}, {}
    for (kind, name, language), (rva, size) in sorted(resources.items(), key=str):
        if kind != RT_ICON:
            continue
        width, height, bits, reason = icon_format(image.bytes_at(rva, size))
        images[name] = (width, height, bits, size)
        if reason:
            problems.append(f'icon image {name}: {reason}')
        else:
            text = f'{width}x{height} {bits}-bit'
            formats[text] = formats.get(text, 0) + 1
    groups = 0
    for (kind, name, language), (rva, size) in sorted(resources.items(), key=str):
        if kind != RT_GROUP_ICON:
            continue
        groups += 1
        group = image.bytes_at(rva, size)
        _, group_type, count = struct.unpack_from('<HHH', group)
        if group_type != 1 or 6 + 14 * count > size:
            problems.append(f'icon group {name}: type {group_type}, {count} entries in {size} '
                            f'bytes')
            continue
        for i in range(count):
            width, height, _, _, _, bits, length, icon = struct.unpack_from('<BBBBHHIH', group,
                                                                          6 + 14 * i)
            if icon not in images:
                problems.append(f'icon group {name}: image {icon} is missing')
                continue
            shown = (width or 256, height or 256, bits or images[icon][2], length)
            if shown != images[icon]:
                problems.append(f'icon group {name}: entry for image {icon} says '
                                f'{shown[0]}x{shown[1]} {shown[2]}-bit, {length} bytes; the image '
                                f'is {"x".join(map(str, images[icon][:2]))} '
                                f'{images[icon][2]}-bit, {images[icon][3]} bytes')
    if not images and not groups:
        return problems, 'none'
    return problems, (f'{len(images)} image(s) in {groups} group(s): '
                      + ', '.join(f'{n} x {f} uncompressed' for f, n in sorted(formats.items())))


def version_block(data, at, end, path, problems):
    """Checks the block at data[at:], which must end by end; returns how many blocks it holds
    (itself included) and its key. The block's value is data bytes (wType 0) or WCHARs (1)."""
    if at + 6 > end:
        problems.append(f'{path}: block at 0x{at:x} has no room for its header before 0x{end:x}')
        return 0, ''
    length, value_length, value_type = struct.unpack_from('<HHH', data, at)
    key_end = at + 6
    while key_end + 2 <= at + length and data[key_end:key_end + 2] != b'\0\0':
        key_end += 2
    key = data[at + 6:key_end].decode('utf-16-le', 'replace')
    path = f'{path}/{key}' if path else key
    if length < 6 or at + length > end:
        problems.append(f'{path}: wLength {length} at 0x{at:x} runs past its parent\'s end '
                        f'(0x{end:x})')
        return 0, key
    block_end = at + length
    value_at = align4(key_end + 2)
    value_end = value_at + value_length * (2 if value_type == 1 else 1)
    if value_end > block_end:
        unit = 'WCHARs' if value_type == 1 else 'bytes'
        problems.append(f'{path}: value of {value_length} {unit} runs past the block\'s wLength '
                        f'{length}')
        return 1, key
    count, child = 1, align4(value_end)
    while child < block_end and not problems:
        held, _ = version_block(data, child, block_end, path, problems)
        count += held
        child = align4(child + u16(data, child))
    return count, key


def check_version_resource(image):
    resources, reason = resources_or_reason(image)
    if reason:
        return [reason], 'unreadable'
    found = [value for (kind, _, _), value in resources.items() if kind == RT_VERSION]
    if len(found) != 1:
        return [f'{len(found)} version resources, not one'], 'missing' if not found else 'several'
    rva, size = found[0]
    data = image.bytes_at(rva, size)
    problems = []
    if size < 6 or u16(data, 0) > size:
        return [f'VS_VERSIONINFO wLength {u16(data, 0) if size >= 2 else "?"} runs past the '
                f'resource\'s {size} bytes'], 'lengths do not nest'
    blocks, key = version_block(data, 0, size, '', problems)
    if problems:
        return problems, 'lengths do not nest'
    fixed_at = align4(6 + 2 * len(key) + 2)
    if key != 'VS_VERSION_INFO' or u16(data, 2) != VS_FIXEDFILEINFO_SIZE \
            or u32(data, fixed_at) != VS_FIXEDFILEINFO_SIGNATURE:
        return [f'root block "{key}" with a {u16(data, 2)}-byte value: not VS_VERSION_INFO with '
                f'its VS_FIXEDFILEINFO'], 'not a version resource'
    high, low = struct.unpack_from('<II', data, fixed_at + 8)
    return [], (f'file version {high >> 16}.{high & 0xffff}.{low >> 16}.{low & 0xffff}, '
                f'{blocks} blocks, lengths nest')


RULES = (  # (rule group, check): one ok/FAIL line each per program, in this order
    ('versions', check_versions),
    ('alignment', check_alignment),
    ('import address table', check_import_address_table),
    ('directories', check_directories),
    ('relocations', check_relocations),
    ('checksum', check_checksum),
    ('icons', check_icons),
    ('version resource', check_version_resource),
)
