#include "KelObject.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class Counted : public CKelObject {
public:
    explicit Counted(int& destroyed) : m_destroyed(destroyed) {}
    ~Counted() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

} // namespace

TEST(KelObject, DeletingThroughTheRootRunsTheDerivedDestructor)
{
    int destroyed = 0;
    std::unique_ptr<CKelObject> object = std::make_unique<Counted>(destroyed);
    EXPECT_NE(dynamic_cast<Counted*>(object.get()), nullptr);
    object.reset();
    EXPECT_EQ(destroyed, 1);
}
