// A client that loads the library, uses it and unloads it again is left with
// nothing allocated, and a second load starts afresh.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "oci.h"
#include "testkit/temp_dir.h"

#ifdef __SANITIZE_ADDRESS__
extern "C" int __lsan_do_recoverable_leak_check();
#endif

namespace kavo::test {
namespace {

using EnvCreateFn = sword (*)(OCIEnv**, ub4, void*, void* (*)(void*, size_t), void* (*)(void*, void*, size_t),
                              void (*)(void*, void*), size_t, void**);
using HandleAllocFn = sword (*)(const void*, void**, ub4, size_t, void**);
using HandleFreeFn = sword (*)(void*, ub4);
using AttrGetFn = sword (*)(const void*, ub4, void*, ub4*, ub4, OCIError*);

// The library under a name of its own: this program is linked with it already,
// and only a separate copy is really unloaded by dlclose.
class UnloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    copy_ = dir_.File("libclntsh_copy.so");
    std::filesystem::copy_file(OCISQLITE_LIBRARY, copy_);
  }

  void* Load() {
    void* lib = dlopen(copy_.c_str(), RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(lib, nullptr) << dlerror();
    return lib;
  }

  // One client's round: an environment with an error handle, a statement and a
  // service context, all freed again. Returns the stale environment pointer.
  void* UseOnce(void* lib) {
    auto env_create = reinterpret_cast<EnvCreateFn>(dlsym(lib, "OCIEnvCreate"));
    auto alloc = reinterpret_cast<HandleAllocFn>(dlsym(lib, "OCIHandleAlloc"));
    auto handle_free = reinterpret_cast<HandleFreeFn>(dlsym(lib, "OCIHandleFree"));
    auto attr_get = reinterpret_cast<AttrGetFn>(dlsym(lib, "OCIAttrGet"));
    if (!env_create || !alloc || !handle_free || !attr_get) {
      ADD_FAILURE() << "entry points missing";
      return nullptr;
    }
    OCIEnv* env = nullptr;
    EXPECT_EQ(env_create(&env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr), OCI_SUCCESS);
    void *err = nullptr, *stmt = nullptr, *svc = nullptr;
    EXPECT_EQ(alloc(env, &err, OCI_HTYPE_ERROR, 0, nullptr), OCI_SUCCESS);
    EXPECT_EQ(alloc(env, &stmt, OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
    EXPECT_EQ(alloc(env, &svc, OCI_HTYPE_SVCCTX, 0, nullptr), OCI_SUCCESS);
    ub2 type = 99;
    EXPECT_EQ(attr_get(stmt, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, static_cast<OCIError*>(err)),
              OCI_SUCCESS);
    EXPECT_EQ(type, 0) << "nothing prepared yet";
    EXPECT_EQ(handle_free(stmt, OCI_HTYPE_STMT), OCI_SUCCESS);
    EXPECT_EQ(handle_free(stmt, OCI_HTYPE_STMT), OCI_INVALID_HANDLE) << "freed once only";
    EXPECT_EQ(handle_free(env, OCI_HTYPE_ENV), OCI_SUCCESS) << "frees its children with it";
    EXPECT_EQ(handle_free(err, OCI_HTYPE_ERROR), OCI_INVALID_HANDLE);
    EXPECT_EQ(handle_free(env, OCI_HTYPE_ENV), OCI_INVALID_HANDLE);
    return env;
  }

  TempDir dir_{"/tmp/ocisqlite_unload_"};
  std::string copy_;
};

TEST_F(UnloadTest, UnloadingLeavesNothingAllocatedAndReloadingStartsAfresh) {
  void* lib = Load();
  ASSERT_NE(lib, nullptr);
  void* stale = UseOnce(lib);
  EXPECT_NE(stale, nullptr);
  ASSERT_EQ(dlclose(lib), 0);
  EXPECT_EQ(dlopen(copy_.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the copy is really unloaded";
#ifdef __SANITIZE_ADDRESS__
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "the library left memory behind";
#endif

  // Loaded again, it works as before and knows nothing of the first load's handles.
  lib = Load();
  ASSERT_NE(lib, nullptr);
  auto handle_free = reinterpret_cast<HandleFreeFn>(dlsym(lib, "OCIHandleFree"));
  ASSERT_NE(handle_free, nullptr);
  EXPECT_EQ(handle_free(stale, OCI_HTYPE_ENV), OCI_INVALID_HANDLE);
  UseOnce(lib);
  ASSERT_EQ(dlclose(lib), 0);
#ifdef __SANITIZE_ADDRESS__
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "the library left memory behind";
#endif
}

}  // namespace
}  // namespace kavo::test
