#ifndef QUORBEL_TESTS_SYSTEM_CALL_FAULTS_H
#define QUORBEL_TESTS_SYSTEM_CALL_FAULTS_H

/*
 * Linking SystemCallFaults.c into an executable that exports its symbols
 * (ENABLE_EXPORTS) puts these definitions of write, pwrite, pwrite64, close
 * and renameat in front of the C library's, for the shared libraries too. They
 * pass every call on, until a fault is armed: then the Nth call at that
 * point (on a regular file, for write and close) fails with the given
 * errno, once.
 * A hook, if given, runs instead of the Nth call's failure, and the call
 * then goes through.
 *
 * A call's 64-bit name (pwrite64, which a 32-bit library built with 64-bit
 * offsets calls) shares the fault point of its plain name. To cover another
 * call: add its point to the enum below, and one FAULTY_CALL line in
 * SystemCallFaults.c with the call's own prototype, once for each name the
 * C library gives it (fallocate and fallocate64, for example).
 * Interposition needs an ELF system (QUORBEL_HAVE_ELF_INTERPOSITION).
 */

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
  kFaultAtWrite,
  kFaultAtPositionedWrite,
  kFaultAtClose,
  kFaultAtRename,
  kFaultAtLink,
  kFaultAtReserve,
} QuorbelFaultPoint;

void QuorbelArmFault(QuorbelFaultPoint point, int nth, int error);
void QuorbelArmHook(QuorbelFaultPoint point, int nth, void (*hook)(void));
void QuorbelDisarmFaults(void);
/* Whether the armed fault or hook was reached. */
int QuorbelFaultReached(void);

#ifdef __cplusplus
}
#endif

#endif
