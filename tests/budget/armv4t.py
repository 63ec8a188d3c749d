#!/usr/bin/env python3
"""Fail on any instruction in an ARM executable that the ARM920T lacks.

    armv4t.py OBJDUMP FILE... [--settle f1,f2,...] [--expect m1,m2,...]
    armv4t.py --sigill EMULATOR... CANARY

The ARM920T implements ARMv4T.  The toolchain (Debian's armel one is built
for ARMv5TE) can bring in instructions of later architectures from its
libraries and start-up files; on the board each of them raises SIGILL.
Every instruction of every code section of FILE must be one of the ARMv4T
ARM-state instructions below; anything else is listed with its address and
the function it is in.  Thumb code is refused too: the board program is
built for ARM state, and Thumb code in it would mean something unexpected
was linked.

objdump is asked to decode for every architecture (-m arm): told the file's
own architecture (ARMv5TE, from the start-up files) it would print later
instructions as something else (an ARMv6K hint as "msr"), or not at all.

The one exception is code of the C library that it selects at run time by
the kernel's hardware capabilities, for later processors: those functions
are named in RUNTIME_SELECTED with why none of them runs on an ARM920T.

--settle names functions that store to a clock-set register: after that
store the processor must run no-operations and nothing else.  Each such
function, in every FILE that has it, must hold exactly one word store (str)
followed directly by eight ARMv4T no-operations; a function that does not
is reported as "unsettled:NAME".  Each name must be found in some FILE.

--expect lists the forbidden mnemonics (and unsettled:NAME) that FILE is
known to hold (a test of this checker); the check then passes when exactly
those are found.
"""

import re, signal, subprocess, sys

CONDITIONS = {"", "eq", "ne", "cs", "hs", "cc", "lo", "mi", "pl", "vs", "vc", "hi", "ls",
              "ge", "lt", "gt", "le", "al"}

# ARMv4T ARM-state mnemonics, as objdump prints them (unified syntax), each
# followed by a condition.  Those in SETS_FLAGS may take an "s" before it.
SETS_FLAGS = {"and", "eor", "sub", "rsb", "add", "adc", "sbc", "rsc", "orr", "mov", "bic", "mvn",
              "lsl", "lsr", "asr", "ror", "rrx",
              "mul", "mla", "umull", "umlal", "smull", "smlal"}
OTHERS = {"tst", "teq", "cmp", "cmn",
          "ldr", "str", "ldrb", "strb", "ldrt", "strt", "ldrbt", "strbt",
          "ldrh", "strh", "ldrsb", "ldrsh",
          "ldm", "stm", "push", "pop", "swp", "swpb",
          "b", "bl", "bx", "mrs", "msr", "svc", "swi",
          "cdp", "mcr", "mrc", "ldc", "stc", "ldcl", "stcl"}
for mode in ("ia", "ib", "da", "db", "fd", "fa", "ed", "ea"):
    OTHERS |= {"ldm" + mode, "stm" + mode}

# "nop" is ARMv4T's mov r0, r0 only; objdump prints ARMv6K's nop hint the
# same way.
NOP_V4 = 0x01A00000
NOP_ALWAYS = 0xE0000000 | NOP_V4  # without a condition

# musl's atomics and thread pointer on ARM.  Its start-up picks them in
# __set_thread_area by the kernel's HWCAP_TLS bit and AT_PLATFORM string; a
# processor without HWCAP_TLS (the ARM920T has no thread ID register, which
# ARMv6K brought) gets the kernel's user helpers at 0xffff0fa0 to 0xffff0fe0
# instead, and nothing calls these.
RUNTIME_SELECTED = {
    "__a_barrier_v6": "ARMv6 barrier (cp15 c7): chosen only with HWCAP_TLS on an ARMv6 platform",
    "__a_barrier_v7": "dmb: chosen only with HWCAP_TLS on an ARMv7 or later platform",
    "__a_cas_v6": "ldrex/strex: chosen only with HWCAP_TLS on an ARMv6 platform",
    "__a_cas_v7": "ldrex/strex/dmb: chosen only with HWCAP_TLS on an ARMv7 or later platform",
    "__a_gettp_cp15": "reads the cp15 thread ID register: chosen only with HWCAP_TLS",
}

LINE = re.compile(r"^\s*([0-9a-f]+):\t([0-9a-f ]+?)\s*\t(\S+)\s*(.*)$")
FUNC = re.compile(r"^[0-9a-f]+ <(.*)>:$")


def armv4t(mnemonic, word):
    if mnemonic in (".word", ".short", ".byte"):  # literal pools ($d)
        return True
    if mnemonic.startswith("nop"):
        return mnemonic[3:] in CONDITIONS and word & 0x0FFFFFFF == NOP_V4
    for base in SETS_FLAGS | OTHERS:
        if not mnemonic.startswith(base):
            continue
        rest = mnemonic[len(base):]
        if rest in CONDITIONS or (base in SETS_FLAGS and rest[:1] == "s" and rest[1:] in CONDITIONS):
            return True
    return False


def disassemble(objdump, path):
    """(address, encoding, mnemonic, text, function) of every instruction."""
    out = subprocess.run([objdump, "-d", "-C", "-m", "arm", path], check=True,
                         capture_output=True, text=True).stdout
    insns = []
    func = "?"
    for line in out.splitlines():
        m = FUNC.match(line)
        if m:
            func = m.group(1)
            continue
        m = LINE.match(line)
        if m:
            addr, enc, mnemonic, operands = m.groups()
            text = (mnemonic + " " + operands.split("@")[0].strip()).strip()
            insns.append((addr, enc, mnemonic, text, func))
    if not insns:
        sys.exit("%s: objdump showed no instructions at all" % path)
    return insns


def check(insns):
    """The (address, text, function) of every instruction that is not ARMv4T."""
    bad = []
    for addr, enc, mnemonic, text, func in insns:
        if func in RUNTIME_SELECTED:
            continue
        if not re.fullmatch(r"[0-9a-f]{8}", enc):
            bad.append((addr, "Thumb code: " + text, func))
        elif not armv4t(mnemonic, int(enc, 16)):
            bad.append((addr, text, func))
    return bad


def settled(insns, name):
    """Whether the function holds exactly one word store, followed directly by
    eight no-operations; None when there is no such function."""
    body = [(addr, enc, mnemonic) for addr, enc, mnemonic, _, func in insns
            if func.split("(")[0] == name]
    if not body:
        return None
    stores = [i for i, (_, _, mnemonic) in enumerate(body)
              if mnemonic.startswith("str") and mnemonic[3:] in CONDITIONS]
    after = body[stores[0] + 1:stores[0] + 9] if len(stores) == 1 else []
    return len(after) == 8 and all(int(enc, 16) == NOP_ALWAYS for _, enc, _ in after)


def sigill(emulator, canary):
    """The emulated core is as strict as the board's: the canary raises
    SIGILL for each instruction newer than ARMv4T, and runs without one."""
    faults = 0
    for insn in ("none", "clz", "blx", "ldrd"):
        r = subprocess.run(emulator + [canary, insn], capture_output=True, timeout=60)
        want = 0 if insn == "none" else -signal.SIGILL
        print("%s: exit %d, expected %d" % (insn, r.returncode, want))
        faults += r.returncode != want
    return 1 if faults else 0


def main():
    args = sys.argv[1:]
    if args[:1] == ["--sigill"]:
        return sigill(args[1:-1], args[-1])
    opts = {}
    for opt in ("--expect", "--settle"):
        if opt in args:
            i = args.index(opt)
            opts[opt] = args[i + 1].split(",")
            del args[i:i + 2]
    expect, settle = opts.get("--expect"), opts.get("--settle", [])
    objdump, paths = args[0], args[1:]
    bad = []
    seen = set()
    for path in paths:
        insns = disassemble(objdump, path)
        found = check(insns)
        for name in settle:
            ok = settled(insns, name)
            if ok is not None:
                seen.add(name)
                print("%s: %s: %s" % (path, name, "store, then 8 no-operations" if ok
                                      else "NOT a store followed directly by 8 no-operations"))
            if ok is False:
                found.append((next(i[0] for i in insns if i[4].split("(")[0] == name),
                              "unsettled:" + name, name))
        for addr, text, func in found:
            print("%s: 0x%s: %s   in %s" % (path, addr, text, func))
        if not found:
            print("%s: ARMv4T only" % path)
        bad += found
    if set(settle) - seen:
        sys.exit("no function %s in %s" % (",".join(sorted(set(settle) - seen)), " ".join(paths)))
    if expect is None:
        if bad:
            print("%d instructions that the ARM920T (ARMv4T) does not have" % len(bad))
        return 1 if bad else 0
    found = {text.split()[0] if not text.startswith("Thumb") else "thumb" for _, text, _ in bad}
    if found != set(expect):
        print("expected exactly %s, found %s" % (sorted(expect), sorted(found)))
    return 1 if found != set(expect) else 0


if __name__ == "__main__":
    sys.exit(main())
