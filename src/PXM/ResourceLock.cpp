#include "PXM/ResourceLock.h"

// Where the C library has a static initialiser for an error-checking mutex, the member starts as
// one: objects are created often, and setting one up through attributes takes four library calls.
void CResourceLock::Initialize() {
#if !defined(PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP)
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK);
  pthread_mutex_init(&m_Mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
#endif
}

int CResourceLock::Lock() { return pthread_mutex_lock(&m_Mutex); }
int CResourceLock::Unlock() { return pthread_mutex_unlock(&m_Mutex); }
int CResourceLock::Delete() { return pthread_mutex_destroy(&m_Mutex); }
