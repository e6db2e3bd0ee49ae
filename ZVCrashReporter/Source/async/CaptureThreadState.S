// int capture_current_thread_state(callback, context): records the caller's registers in
// register-number order (see ThreadState.h) and hands them to zvcrash_capture_finish.
    .text
    .globl capture_current_thread_state
    .type capture_current_thread_state, @function
capture_current_thread_state:
    .cfi_startproc
    pushq %rbp
    .cfi_def_cfa_offset 16
    .cfi_offset %rbp, -16
    movq %rsp, %rbp
    .cfi_def_cfa_register %rbp
    subq $176, %rsp
    movq %rax, 24(%rsp)
    movq %rbx, 32(%rsp)
    movq %rcx, 40(%rsp)
    movq %rdx, 48(%rsp)
    movq %rdi, 56(%rsp)
    movq %rsi, 64(%rsp)
    movq %r8, 72(%rsp)
    movq %r9, 80(%rsp)
    movq %r10, 88(%rsp)
    movq %r11, 96(%rsp)
    movq %r12, 104(%rsp)
    movq %r13, 112(%rsp)
    movq %r14, 120(%rsp)
    movq %r15, 128(%rsp)
    movq 8(%rbp), %rax          // rip: the return address
    movq %rax, 0(%rsp)
    movq 0(%rbp), %rax          // rbp: the caller's, saved at entry
    movq %rax, 8(%rsp)
    leaq 16(%rbp), %rax         // rsp: the caller's once this call returns
    movq %rax, 16(%rsp)
    pushfq
    popq %rax
    movq %rax, 136(%rsp)
    xorl %eax, %eax
    movw %cs, %ax
    movq %rax, 144(%rsp)
    movw %fs, %ax
    movq %rax, 152(%rsp)
    movw %gs, %ax
    movq %rax, 160(%rsp)
    movq %rsp, %rdx             // callback and context are still in rdi and rsi
    call zvcrash_capture_finish@PLT
    leave
    .cfi_def_cfa %rsp, 8
    ret
    .cfi_endproc
    .size capture_current_thread_state, .-capture_current_thread_state
    .section .note.GNU-stack, "", @progbits
