// The per-object lock is error-checking: it never deadlocks its own thread.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "PXMImageCANVAS/PXMImageCANVAS.h"
#include "PXMImageDIB/PXMImageDIB.h"

namespace {

TEST(ResourceLock, SecondLockOnTheSameThreadFailsInsteadOfBlocking) {
  CResourceLock lock;
  EXPECT_EQ(lock.Lock(), 0);
  EXPECT_EQ(lock.Lock(), EDEADLK);
  int otherUnlock = 0;
  std::thread([&] { otherUnlock = lock.Unlock(); }).join();
  EXPECT_EQ(otherUnlock, EPERM) << "only the owner unlocks";
  EXPECT_EQ(lock.Unlock(), 0);
  EXPECT_EQ(lock.Unlock(), EPERM);
}

template <class T, class I>
void ExpectObjectLockIsErrorChecking(const IID& iid) {
  I* face = nullptr;
  ASSERT_EQ(CObject<T>::_CreateInstance(nullptr, &iid, reinterpret_cast<void**>(&face)), PXM_S_OK);
  T* object = static_cast<T*>(face);
  EXPECT_EQ(object->Lock(), 0);
  EXPECT_NE(object->Lock(), 0);
  EXPECT_EQ(object->Unlock(), 0);
  face->Release();
}

TEST(ResourceLock, DibAndCanvasObjectsOwnOne) {
  ExpectObjectLockIsErrorChecking<CPXMImageDIB, IPXMImageDIB>(IID_IPXMImageDIB);
  ExpectObjectLockIsErrorChecking<CPXMImageCANVAS, IPXMImageCANVAS>(IID_IPXMImageCANVAS);
}

}  // namespace
