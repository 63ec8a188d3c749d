@ A test of armv4t.py: the ARMv4T instructions a program may hold, which
@ the checker must pass (the assembler itself refuses them for anything
@ beyond the ARM920T), and encodings of later architectures, written as
@ raw words so that the object still claims to be ARMv4T, which the checker
@ must each name.  Never linked or run.
        .syntax unified
        .cpu arm920t
        .arm
        .text
        .global armv4t_ok
armv4t_ok:
        push    {r4, r5, lr}
        adds    r0, r1, r2, lsl #3
        subne   r0, r0, #1
        rsbmi   r0, r0, #0
        movs    r1, r2, asr r3
        mvn     r0, r1
        bics    r0, r0, #0xff
        cmp     r0, r1
        tst     r0, #1
        teq     r0, r1
        cmn     r0, #4
        mul     r0, r1, r2
        mla     r0, r1, r2, r3
        umull   r0, r1, r2, r3
        smlals  r0, r1, r2, r3
        ldr     r0, =0x80930020
        ldrh    r0, [r1, #2]
        ldrsb   r0, [r1]
        ldrsh   r0, [r1]
        strh    r0, [r1]
        strbeq  r0, [r1], #1
        ldmia   r0!, {r1, r2}
        stmdb   sp!, {r1, r2}
        swp     r0, r1, [r2]
        swpb    r0, r1, [r2]
        mrs     r0, cpsr
        msr     cpsr_f, r0
        mrc     p15, 0, r0, c0, c0, 0
        swi     0
        nop
        bl      armv4t_ok
        bxne    lr
        pop     {r4, r5, pc}
        .ltorg

        .global armv4t_bad
armv4t_bad:
        .inst   0xe16f2f13 @ clz r2, r3
        .inst   0xe12fff33 @ blx r3
        .inst   0xfafffffc @ blx (immediate)
        .inst   0xe1c200d0 @ ldrd r0, [r2]
        .inst   0xe1c200f0 @ strd r0, [r2]
        .inst   0xf5d0f000 @ pld [r0]
        .inst   0xe1200070 @ bkpt #0
        .inst   0xe1020051 @ qadd r0, r1, r2
        .inst   0xe1620051 @ qdsub r0, r1, r2
        .inst   0xe1600281 @ smulbb r0, r1, r2
        .inst   0xe1003281 @ smlabb r0, r1, r2, r3
        .inst   0xe1410382 @ smlalbb r0, r1, r2, r3
        .inst   0xe12002a1 @ smulwb r0, r1, r2
        .inst   0xec410f02 @ mcrr 15, 0, r0, r1, cr2
        .inst   0xec510f02 @ mrrc 15, 0, r0, r1, cr2
        .inst   0xfd932100 @ ldc2 1, cr2, [r3]
        .inst   0xe1910f9f @ ldrex r0, [r1]
        .inst   0xe1820f91 @ strex r0, r1, [r2]
        .inst   0xe6bf0f31 @ rev r0, r1
        .inst   0xe6af0071 @ sxtb r0, r1
        .inst   0xe6ff0071 @ uxth r0, r1
        .inst   0xe6810fb2 @ sel r0, r1, r2
        .inst   0xe6e80011 @ usat r0, #8, r1
        .inst   0xe0410392 @ umaal r0, r1, r2, r3
        .inst   0xe6810012 @ pkhbt r0, r1, r2
        .inst   0xe6510f92 @ uadd8 r0, r1, r2
        .inst   0xf1010200 @ setend be
        .inst   0xe320f000 @ nop {0}
        .inst   0xe320f001 @ yield
        .inst   0xe320f003 @ wfi
        .inst   0xf57ff05f @ dmb sy
        .inst   0xe3010234 @ movw r0, #4660
        .inst   0xe7e20151 @ ubfx r0, r1, #2, #3
        .inst   0xe710f211 @ sdiv r0, r1, r2

@ A clock-set store as it must be, directly followed by eight
@ no-operations, and two that are not: the checker must pass the first and
@ name the other two.
        .arm
        .global settle_joined
settle_joined:
        ldr     r0, =0x80930020
        str     r1, [r0]
        .rept   8
        nop
        .endr
        bx      lr
        .ltorg

        .global settle_split
settle_split:
        str     r1, [r0]
        add     r2, r2, #1
        .rept   8
        nop
        .endr
        bx      lr

        .global settle_short
settle_short:
        str     r1, [r0]
        .rept   7
        nop
        .endr
        bx      lr

        .thumb
        .thumb_func
        .global armv4t_thumb
armv4t_thumb:
        adds    r0, r1, #1
        bx      lr
