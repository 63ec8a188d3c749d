@ A free-standing ARM program that executes one instruction newer than
@ ARMv4T, picked by its first argument: "clz" (ARMv5T), "blx" (ARMv5T) or
@ "ldrd" (ARMv5TE); with any other argument, none.  It then exits with 0.
@ On the board's ARMv4T core each of the three raises SIGILL: the test of
@ the emulated core runs it to show that the core under test is as strict.
        .syntax unified
        .arch armv5te
        .arm
        .text
        .global _start
_start:
        ldr     r0, [sp]                @ argc
        cmp     r0, #2
        blt     done
        ldr     r1, [sp, #8]            @ argv[1]
        ldrb    r2, [r1, #1]            @ its second letter: cLz, bLx, lDrd
        cmp     r2, #'l'
        beq     run_clz_or_blx
        cmp     r2, #'d'
        beq     run_ldrd
        b       done
run_clz_or_blx:
        ldrb    r2, [r1]
        cmp     r2, #'c'
        beq     run_clz
        cmp     r2, #'b'
        bne     done
        adr     r3, leaf
        blx     r3
        b       done
run_clz:
        clz     r2, r0
        b       done
run_ldrd:
        bic     r3, sp, #7              @ an 8-byte aligned address on the stack
        ldrd    r4, r5, [r3]
        b       done
leaf:
        bx      lr
done:
        mov     r0, #0
        mov     r7, #1                  @ exit
        svc     #0
