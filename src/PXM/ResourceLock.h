// The per-object lock: an error-checking mutex, so a second Lock by the owning thread fails
// at once instead of blocking, and an Unlock by another thread fails.
#pragma once
#include <pthread.h>

class CResourceLock final {
 public:
  CResourceLock() { Initialize(); }
  ~CResourceLock() { Delete(); }
  CResourceLock(const CResourceLock&) = delete;
  CResourceLock& operator=(const CResourceLock&) = delete;

  void Initialize();
  virtual int Lock();
  virtual int Unlock();
  virtual int Delete();

 private:
#if defined(PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP)
  pthread_mutex_t m_Mutex = PTHREAD_ERRORCHECK_MUTEX_INITIALIZER_NP;
#else
  pthread_mutex_t m_Mutex;
#endif
};
