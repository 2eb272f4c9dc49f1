// Both hosts of the record, vxbridge and `vxhost watch`, against what a
// careless host or another local user does to the segment while they hold
// it: removed and made again, cut to 0 bytes, the name taken by a FIFO or
// by another user's segment. The record is made here as the analyzer makes
// it; after each attack the host must still run, say what it found, and
// take the trigs of the segment that bears the name again.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <optional>

#include "ToolRun.h"

namespace {

using TSlot = std::optional<TSegment>;

// The stand-in analyzer's segment, made again under the name.
void Remake(TSlot& segment, const std::string& name)
{
    segment.reset();
    segment.emplace(name);
    segment->bytes[VXSM_OFF_ANALYZERACTIVE] = 1;
}

bool MapsADeletedSegment(pid_t pid, const std::string& path)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find(path + " (deleted)") != std::string::npos)
            return true;
    return false;
}

TEST(HostsOfTheRecord, FollowTheSegmentThroughRemovalCutsAndSquatters)
{
    const std::string name = TestSegmentName();
    const std::string path = "/dev/shm/" + name;
    const struct {
        const char* attack;
        bool needsRoot;
        std::function<void(TSlot&)> act;
        std::string says;  // after the attack
        std::function<void(TSlot&)> mend;
    } attacks[] = {
        {"removed and made again", false, [&](TSlot& s) { Remake(s, name); }, "rejoined the segment /" + name,
         [](TSlot&) {}},
        {"cut to 0 bytes", false, [&](TSlot&) { ASSERT_EQ(::truncate(path.c_str(), 0), 0); },
         "is 0 bytes, shorter than the record's 2431",
         [&](TSlot& s) {
             ASSERT_EQ(::truncate(path.c_str(), VXSM_SIZE), 0);
             s->bytes[VXSM_OFF_ANALYZERACTIVE] = 1;
         }},
        {"a FIFO in its place", false,
         [&](TSlot& s) {
             s.reset();
             ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
         },
         "is a FIFO, not a shared-memory segment",
         [&](TSlot& s) {
             ::unlink(path.c_str());
             Remake(s, name);
         }},
        {"another user's segment", true,
         [&](TSlot& s) {
             Remake(s, name);
             ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
         },
         "belongs to user 65534", [&](TSlot& s) { Remake(s, name); }},
    };
    const std::vector<std::vector<std::string>> hosts{
        {VXBRIDGE_PATH, "--segment", name, "--osc", "127.0.0.1:9"},
        {VXHOST_PATH, "--segment", name, "watch", "--plain"},
    };
    for (const auto& a : attacks) {
        if (a.needsRoot && ::geteuid() != 0) {
            std::printf("skipped '%s': only root can give a segment to another user\n", a.attack);
            continue;
        }
        for (const auto& argv : hosts) {
            SCOPED_TRACE(std::string(a.attack) + ", " + argv[0]);
            TSlot segment;
            Remake(segment, name);
            TChild host;
            ASSERT_TRUE(host.Start(argv));
            const auto taken = [&](TSlot& s) {
                s->bytes[VXSM_OFF_TRIG] = 1;
                return host.WaitFor([&] { return s->bytes[VXSM_OFF_TRIG] == 0 || !host.Running(); }, 5000) &&
                       s->bytes[VXSM_OFF_TRIG] == 0;
            };
            ASSERT_TRUE(taken(segment)) << host.err;
            a.act(segment);
            EXPECT_TRUE(host.ErrHas(a.says, 5000)) << host.err;
            a.mend(segment);
            EXPECT_TRUE(host.ErrHas("rejoined the segment /" + name, 5000)) << host.err;
            EXPECT_TRUE(taken(segment)) << "no trig taken after the segment came back:\n" << host.err;
            EXPECT_FALSE(MapsADeletedSegment(host.Pid(), path));
            EXPECT_EQ(host.End(SIGTERM, 5000), 0) << host.err;  // 135 after SIGBUS
        }
    }
    ::unlink(path.c_str());  // whatever a failed case left there
}

}  // namespace
