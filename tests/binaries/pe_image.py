"""A reader of the parts of a PE image that say how Windows will load it: the
machine, the optional header's kind and subsystem, the imported libraries, the
exported names and the resources. Written from the PE/COFF specification's layouts, standard library
only, so that it checks the linker's output independently of the tools that made it."""

import struct

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_MACHINE_AMD64 = 0x8664
PE32_MAGIC = 0x10B
PE32_PLUS_MAGIC = 0x20B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3
IMAGE_FILE_DLL = 0x2000
RT_VERSION = 16
RT_MANIFEST = 24


class PeImage:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise ValueError("%s: no MZ header" % path)
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("%s: no PE signature" % path)
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        optional = pe + 24
        self.magic = self.u16(optional)
        # The subsystem sits at the same offset in both kinds; the data directories
        # follow the fields whose width differs (four 32- or 64-bit sizes).
        self.subsystem = self.u16(optional + 68)
        directories = optional + (96 if self.magic == PE32_MAGIC else 112)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i)
                            for i in range(self.u32(directories - 4))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, vsize, rva, raw_size, raw = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), rva, max(vsize, raw_size), raw))

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for _, start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("RVA %#x lies in no section" % rva)

    def cstring(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        """The names of the libraries the loader must find, as the image spells them."""
        rva, size = self.directories[1]
        names = []
        if not rva:
            return names
        at = self.offset(rva)
        while True:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name or thunks):
                return names
            names.append(self.cstring(name))
            at += 20

    def exports(self):
        """(the library's own name, the names it exports in the table's order); a
        library that exports nothing has no export directory: (None, [])."""
        rva, _ = self.directories[0] if self.directories else (0, 0)
        if not rva:
            return None, []
        # IMAGE_EXPORT_DIRECTORY: flags, time stamp, two version halves, then the RVA of
        # the library's name, the ordinal base, the counts of functions and names, and
        # the RVAs of the function, name and name-ordinal tables.
        (_, _, _, _, name, _, _, count, _, names, _) = struct.unpack_from(
            "<IIHHIIIIIII", self.data, self.offset(rva))
        at = self.offset(names) if count else 0
        return self.cstring(name), [self.cstring(self.u32(at + 4 * i)) for i in range(count)]

    def resources(self, kind):
        """The data of every resource of one type (all names, all languages)."""
        rva, _ = self.directories[2]
        if not rva:
            return []
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                yield ident, target

        def leaves(target):
            if target & 0x80000000:
                for _, below in entries(target & 0x7FFFFFFF):
                    yield from leaves(below)
            else:
                data_rva, size = struct.unpack_from("<II", self.data, base + target)
                at = self.offset(data_rva)
                yield self.data[at:at + size]

        found = []
        for ident, target in entries(0):
            if ident == kind:
                found.extend(leaves(target))
        return found
