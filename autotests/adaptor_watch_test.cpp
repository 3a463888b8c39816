// The bench's watch on a by-id folder as the system changes it: links made under a passing name
// and renamed, links made again, the device's node made again, the folder going and coming back.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "serial/adaptor_watch.h"

namespace {

namespace fs = std::filesystem;

TEST(AdaptorWatch, AnEntryIsTheDeviceAndItsComingWhateverTheLinkIsCalled) {
  char pattern[] = "/tmp/aldl-watch-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path folder = dir / "serial" / "by-id";
  std::ofstream(dir / "ttyUSB0").put('\n');
  const fs::path device = fs::canonical(dir / "ttyUSB0");
  SystemRoots roots;
  roots.serialById = folder;
  const auto watch = WatchAdaptors(roots);
  EXPECT_TRUE(watch->Entries().empty()) << "a folder not made yet";

  fs::create_directories(folder);
  fs::create_symlink(device, folder / "usb-A.tmp-c188:0");
  fs::create_symlink(device, folder / ".#usb-AXYZ");
  watch->Wait([] { return false; });
  EXPECT_TRUE(watch->Entries().empty()) << "udev's passing names are no adaptors";

  fs::rename(folder / "usb-A.tmp-c188:0", folder / "usb-A");
  fs::remove(folder / ".#usb-AXYZ");
  watch->Wait([] { return false; });
  const auto first = watch->Entries();
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].device, device.string());
  EXPECT_EQ(first[0].link, (folder / "usb-A").string());

  fs::rename(folder / "usb-A", folder / "usb-B");
  const auto renamed = watch->Entries();
  ASSERT_EQ(renamed.size(), 1u);
  EXPECT_EQ(renamed[0], first[0]) << "a rename is the same coming";
  EXPECT_EQ(renamed[0].link, (folder / "usb-B").string());

  // udev makes the link again over itself on a change event; another link to the same device.
  fs::create_symlink(device, folder / "usb-B.tmp-c188:0");
  fs::rename(folder / "usb-B.tmp-c188:0", folder / "usb-B");
  fs::create_symlink(device, folder / "usb-C");
  const auto relinked = watch->Entries();
  ASSERT_EQ(relinked.size(), 1u);
  EXPECT_EQ(relinked[0], first[0]) << "a link made again, or a second one, is the same adaptor";
  EXPECT_EQ(relinked[0].link, (folder / "usb-B").string());

  fs::remove(dir / "ttyUSB0");
  std::ofstream(dir / "ttyUSB0").put('\n');
  const auto again = watch->Entries();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_FALSE(again[0] == first[0]) << "the device's node made again, as plugging it in again does, is another coming";

  fs::remove_all(folder);
  EXPECT_TRUE(watch->Entries().empty());
  watch->Wait([] { return true; });
  fs::remove_all(dir);
}

}  // namespace
