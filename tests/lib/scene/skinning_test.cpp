#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "definitions/Vantrel.DefTypes.h"
#include "rtl/properties.h"
#include "scene/Vantrel.Animation.h"
#include "scene/Vantrel.Armature.h"
#include "scene/Vantrel.Group.h"
#include "scene/Vantrel.Joint.h"
#include "scene/Vantrel.Model.h"
#include "scene/Vantrel.Segment.h"
#include "support/error_of.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "support/skinned_model_test.h"
#include "ui/animations.h"
#include "ui/mesh_buffers.h"

namespace {

using namespace vantrel;

using vtest::ErrorOf;

void ExpectPoint(const TPoint3D& AActual, const TPoint3D& AExpected, float ATolerance = 1e-6f) {
  EXPECT_NEAR(AActual.X, AExpected.X, ATolerance);
  EXPECT_NEAR(AActual.Y, AExpected.Y, ATolerance);
  EXPECT_NEAR(AActual.Z, AExpected.Z, ATolerance);
}

class Skinning : public vtest::TSkinnedModelTest<> {
protected:
  vtest::TFakeClock FClock;
};

TEST_F(Skinning, LoadingBuildsMeshArmatureAndAnimation) {
  auto& f = Fixture();
  f.BuildDefinitions();
  f.ModelDef->GetProperties().AddOrSetValue("CurrentAnimation", TValue::From<std::string>("Walk"));
  f.ModelDef->GetProperties().AddOrSetValue("ShowJoints", TValue::From<bool>(true));
  f.Load();
  ASSERT_NE(f.BodyMesh(), nullptr);
  TVantrelArmature* armature = f.ArmatureControl();
  ASSERT_NE(armature, nullptr);
  ASSERT_EQ(armature->Skeletons().size(), 1u);
  auto* root = dynamic_cast<TVantrelJoint*>(armature->Skeletons()[0]);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Def(), f.Root);
  ASSERT_EQ(root->Joints().size(), 1u);
  EXPECT_EQ(root->Joints()[0], f.ArmJoint());
  EXPECT_EQ(f.Root->GetArmatureIndex(), 1);
  EXPECT_EQ(f.Arm->GetArmatureIndex(), 2);
  EXPECT_EQ(armature->Meshes(), std::vector<TVantrelMesh*>{f.BodyMesh()});
  ASSERT_TRUE(f.BodyMesh()->VertexJointsExist());

  TVantrelAnimation* walk = f.Model->AnimationManager()->GetAnimation("Walk");
  ASSERT_NE(walk, nullptr);
  EXPECT_EQ(walk->FrameRate(), 60);
  EXPECT_EQ(walk->FrameCount(), 60);
  EXPECT_FLOAT_EQ(walk->Skeleton()->Duration(), 1);
  EXPECT_EQ(walk->Skeleton()->Parent(), f.Model);
  ASSERT_EQ(walk->Skeleton()->Interpolators().size(), 1u);
  // The stored keys: "Walk" plays and the joints show.
  EXPECT_TRUE(walk->IsRunning());
  EXPECT_EQ(f.Model->AnimationManager()->CurrentValue(), walk);
  EXPECT_TRUE(f.Model->ShowJoints());

  f.Model->StoreToDefinition(f.ModelDef);
  for (const char* key : {"ShowJoints", "JointsColor", "AnimationManager", "CurrentAnimation"})
    EXPECT_NE(f.ModelDef->GetProperties().Find(std::string_view(key)), nullptr) << key;
  EXPECT_EQ(f.ModelDef->GetProperties().Find(std::string_view("CurrentAnimation"))->AsString(), "Walk");
}

TEST_F(Skinning, TheSkinFollowsTheAnimation) {
  auto& f = Loaded();
  TVantrelArmature* armature = f.ArmatureControl();
  TVantrelAnimationManager* manager = f.Model->AnimationManager();

  // "Walk" is loaded but stopped: nothing is written.
  TVertexBuffer& buffer = f.BodyMesh()->GetMeshData()->VertexBuffer();
  buffer.SetVertices(1, {9, 9, 9});
  armature->AnimateSkin(nullptr);
  ExpectPoint(f.BodyVertex(1), {9, 9, 9});

  ASSERT_NE(manager->PlayAnimation("Walk"), nullptr);
  ExpectPoint(f.ArmJoint()->Position()->Point(), {1, 0, 0});
  // Half a second without timer ticks, then one forced step over it.
  FClock.Jump(500);
  EXPECT_TRUE(TVantrelAnimationManager::ForceStep(0));
  ExpectPoint(f.ArmJoint()->Position()->Point(), {1, 1, 0});
  armature->AnimateSkin(nullptr);
  ExpectPoint(f.BodyVertex(0), {0, 0, 0});
  ExpectPoint(f.BodyVertex(1), {1, 1, 0});
  ExpectPoint(f.BodyVertex(2), {0, 1, 0});

  TVantrelAnimation* walk = manager->Current();
  walk->SetUseTransform(true);
  walk->SetTransformMatrix(TMatrix3D::CreateTranslation({0, 0, 5}));
  armature->AnimateSkin(nullptr);
  ExpectPoint(f.BodyVertex(0), {0, 0, 5});
  ExpectPoint(f.BodyVertex(1), {1, 1, 5});
  ExpectPoint(f.BodyVertex(2), {0, 1, 5});
}

TEST_F(Skinning, WithoutManagerTheBindPoseIsSkinned) {
  auto& f = Loaded();
  f.Model->FreeAnimationManager();
  f.BodyMesh()->GetMeshData()->VertexBuffer().SetVertices(1, {9, 9, 9});
  f.ArmatureControl()->AnimateSkin(nullptr);
  ExpectPoint(f.BodyVertex(0), {0, 0, 0});
  ExpectPoint(f.BodyVertex(1), {1, 0, 0});
  ExpectPoint(f.BodyVertex(2), {0, 1, 0});
}

TEST_F(Skinning, WeightsBelowOneKeepTheRestOfTheBindPosition) {
  auto& f = Loaded();
  f.Model->FreeAnimationManager();
  TVantrelJoint* root = f.ArmatureControl()->FindJoint(f.Root);
  TVantrelJoint* arm = f.ArmJoint();
  struct TCase {
    const char* Name;
    TPoint3D RootOffset, ArmOffset, Expected;
  } cases[] = {
      {"translated offsets", {2, 0, 0}, {0, 4, 0}, {1 + 1, 1, 0}},
      {"identity offsets", {0, 0, 0}, {0, 0, 0}, {1, 0, 0}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVertexJoints& record = f.BodyMesh()->VertexJoints()->GetItemPtr(1);
    record = TVertexJoints::Create(1);
    record.Position = {1, 0, 0};
    record.Add(f.Root, 0.5f);
    record.Add(f.Arm, 0.25f);
    // Joint placements whose offsets are the case's translations (Arm's inverse bind is T(-1,0,0)).
    root->Position()->SetPoint(c.RootOffset);
    arm->Position()->SetPoint(c.ArmOffset + TPoint3D{1, 0, 0} - c.RootOffset);
    f.ArmatureControl()->AnimateSkin(nullptr);
    ExpectPoint(f.BodyVertex(1), c.Expected, 1e-5f);
  }
}

// Skinning reads a table made from the per-vertex records; every way of changing the records or
// the joints they name shows in the next skinning. The steps run in order, each on the previous
// one's state. Arm is placed so that its offset is T(0,2,0); Root's is the identity.
TEST_F(Skinning, ChangedWeightsAndJointsShowInTheNextSkinning) {
  auto& f = Loaded();
  f.Model->FreeAnimationManager();
  TVantrelArmature* armature = f.ArmatureControl();
  TVantrelJoint* root = armature->FindJoint(f.Root);
  TVantrelMesh* body = f.BodyMesh();
  f.ArmJoint()->Position()->SetPoint({1, 2, 0});
  armature->AnimateSkin(nullptr);
  ExpectPoint(f.BodyVertex(1), {1, 2, 0});

  const auto onArm = [&](int32_t AIndex, const TPoint3D& APosition) {
    TVertexJoints record = TVertexJoints::Create(AIndex);
    record.Position = APosition;
    record.Add(f.Arm, 1);
    return record;
  };
  struct TStep {
    const char* Name;
    std::function<void()> Change;
    TPoint3D Expected[3];
  } steps[] = {
      {"a record edited in place",
       [&] { body->VertexJoints()->GetItemPtr(2) = onArm(2, {0, 1, 0}); },
       {{0, 0, 0}, {1, 2, 0}, {0, 3, 0}}},
      {"a record replaced", [&] { body->VertexJoints()->SetItem(0, onArm(0, {0, 0, 0})); },
       {{0, 2, 0}, {1, 2, 0}, {0, 3, 0}}},
      // Possibly at the freed list's address: the table must not take it for the old one.
      {"the list made again",
       [&] {
         body->ClearVertexJoints();
         body->GenerateVertexJoints(f.Controller, TMatrix3D::Identity());
         root->ApplyJointInfoToArmature(f.Controller, body->VertexJoints(), nullptr);
       },
       {{0, 0, 0}, {1, 2, 0}, {0, 1, 0}}},
      {"Arm's definition linked to Root instead",
       [&] {
         f.ArmJoint()->Free();
         armature->LinkJoint(f.Arm, root);
       },
       {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}},
  };
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.Name);
    step.Change();
    armature->AnimateSkin(nullptr);
    for (int i = 0; i < 3; ++i)
      ExpectPoint(f.BodyVertex(i), step.Expected[i]);
  }
}

// A record naming a joint definition that the armature does not map raises the joint map's
// error before any vertex of the mesh is written, those before the record included.
TEST_F(Skinning, AnUnmappedJointRaisesBeforeAnyVertexIsWritten) {
  auto& f = Loaded();
  f.Model->FreeAnimationManager();
  f.ArmatureControl()->FindJoint(f.Root)->Position()->SetPoint({0, 0, 7});
  f.ArmJoint()->Free();
  TVertexBuffer& buffer = f.BodyMesh()->GetMeshData()->VertexBuffer();
  buffer.SetVertices(0, {9, 9, 9});
  EXPECT_THROW(f.ArmatureControl()->AnimateSkin(nullptr), EListError);
  ExpectPoint(f.BodyVertex(0), {9, 9, 9});
}

TEST_F(Skinning, TwoControllersShareTheirRootAndBothMeshesAreWeighted) {
  auto& f = Fixture();
  f.BuildDefinitions();
  TMeshDef* second = f.AddMesh("Second");
  f.AddController(second, {0, 1, 2}, {});
  f.Load();
  TVantrelArmature* armature = f.ArmatureControl();
  EXPECT_EQ(armature->Skeletons().size(), 1u);
  ASSERT_EQ(armature->Meshes().size(), 2u);
  for (TVantrelMesh* mesh : armature->Meshes()) {
    SCOPED_TRACE(mesh->QualifiedName());
    ASSERT_TRUE(mesh->VertexJointsExist());
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(mesh->VertexJoints()->GetItem(i).JointsCount, 1);
  }
}

TEST_F(Skinning, ControllerTargetsAreFoundByNameOrAreTheModel) {
  auto& f = Fixture();
  f.BuildDefinitions();
  TTransformDef nope;
  nope.SetId("Nope");
  f.Controller->SetTarget(&nope);
  {
    vtest::TLogCapture log;
    EXPECT_EQ(ErrorOf([&] { f.Load(); }), "failed to link target to armature - control `Nope` not found");
    ASSERT_FALSE(log.Lines().empty());
    EXPECT_NE(log.Lines()[0].find("(TVantrelModel)"), std::string::npos) << log.Lines()[0];
  }
  FFixture.reset();

  // A target named like the model control skins the model's own meshes.
  auto& g = Fixture();
  g.BuildDefinitions();
  g.Controller->SetTarget(g.ModelDef);
  vtest::TLogCapture log;
  g.Load();
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"<WARNING> Armature controller using model instance \"M\" as target!"});
  EXPECT_EQ(g.ArmatureControl()->Meshes(), std::vector<TVantrelMesh*>{g.BodyMesh()});
  EXPECT_TRUE(g.BodyMesh()->VertexJointsExist());
}

TEST_F(Skinning, OnlyPositionsAreWrittenAndOnlyForTheBufferVertices) {
  auto& f = Loaded();
  f.Model->FreeAnimationManager();
  f.ArmJoint()->Position()->SetPoint({1, 2, 0});
  // A caching buffer of the full 72-byte layout, and one of bare positions, both one vertex
  // shorter than the list.
  TVertexBuffer full(TCustomMeshDef::DefaultVertexFormat(), 2);
  for (int i = 0; i < 2; ++i)
    full.SetNormals(i, {0.25f, 0.5f, 0.75f});
  TVertexBuffer positions({TVertexFormat::Vertex}, 2);
  for (TVertexBuffer* buffer : {&full, &positions}) {
    SCOPED_TRACE(buffer->VertexSize());
    const std::vector<uint8_t> before(buffer->Buffer(), buffer->Buffer() + buffer->Size());
    TMeshBufferMap buffers;
    buffers.Add(f.Body, buffer);
    f.ArmatureControl()->AnimateSkin(&buffers);
    ExpectPoint(buffer->GetVertices(1), {1, 2, 0});
    // Every byte but the positions is as before.
    for (int32_t i = 0; i < buffer->Size(); ++i) {
      if (i % buffer->VertexSize() < 12)
        continue;
      ASSERT_EQ(buffer->Buffer()[i], before[size_t(i)]) << i;
    }
  }
}

// ---- the manager ----

class Manager : public Skinning {
protected:
  // Three animations, "A", "B" and "C", in that order.
  void SetUp() override {
    Skinning::SetUp();
    Fixture().BuildDefinitions(false, 1, false);
    for (const char* id : {"A", "B", "C"})
      Fixture().AddWalk(id, 2);
    Fixture().Load();
    FManager = Fixture().Model->AnimationManager();
  }
  TVantrelAnimation* Get(const char* AId) { return FManager->GetAnimation(std::string(AId)); }
  TVantrelAnimationManager* FManager = nullptr;
};

TEST_F(Manager, CurrentSelectsTheFirstWithoutStartingIt) {
  EXPECT_EQ(FManager->CurrentValue(), nullptr);
  EXPECT_EQ(FManager->Current(), Get("A"));
  EXPECT_FALSE(Get("A")->IsRunning());
}

TEST_F(Manager, PlayTable) {
  EXPECT_EQ(FManager->PlayAnimation("B"), Get("B"));
  EXPECT_TRUE(Get("B")->IsRunning());
  // An unknown Id changes nothing.
  EXPECT_EQ(FManager->PlayAnimation("Nope"), nullptr);
  EXPECT_EQ(FManager->CurrentValue(), Get("B"));
  EXPECT_TRUE(Get("B")->IsRunning());
  // The current one's Id: nothing while running, a restart when stopped.
  const double time = Get("B")->Skeleton()->Time();
  FClock.Jump(100);
  TVantrelAnimationManager::ForceStep(0);
  EXPECT_EQ(FManager->PlayAnimation("B"), Get("B"));
  EXPECT_GT(Get("B")->Skeleton()->Time(), time);
  Get("B")->Stop();
  EXPECT_EQ(FManager->PlayAnimation("B"), Get("B"));
  EXPECT_TRUE(Get("B")->IsRunning());
  EXPECT_DOUBLE_EQ(Get("B")->Skeleton()->Time(), 0);
  // Playing another stops the previous one.
  EXPECT_EQ(FManager->PlayNextAnimation(), Get("C"));
  EXPECT_FALSE(Get("B")->IsRunning());
  EXPECT_EQ(FManager->PlayNextAnimation(), Get("A"));
  EXPECT_EQ(FManager->PlayPreviousAnimation(), Get("C"));
  EXPECT_EQ(FManager->CurrentAnimationName(), "C");
}

TEST_F(Manager, ASingleAnimationStaysCurrent) {
  FManager->Animations().Remove(std::string("A"));
  FManager->Animations().Remove(std::string("C"));
  EXPECT_EQ(FManager->PlayNextAnimation(), Get("B"));
  Get("B")->Stop();
  EXPECT_EQ(FManager->PlayPreviousAnimation(), Get("B"));
  EXPECT_TRUE(Get("B")->IsRunning());
}

TEST_F(Manager, FixedCacheFramesAndThePlaybackIndex) {
  TVantrelAnimation* a = Get("A");
  a->SetFixedCacheFrame(a->FrameCount());
  EXPECT_EQ(a->FixedCacheFrame(), 0);
  a->SetFixedCacheFrame(59);
  EXPECT_EQ(a->FixedCacheFrame(), 59);
  EXPECT_EQ(a->CacheFrameIndex(30), 0);
  a->UnsetFixedCacheFrame();
  struct TCase {
    int32_t Frames;
    float Time;
    int32_t Expected;
  } cases[] = {{60, 0, 0}, {60, 0.5f, 30}, {60, 1, 59}, {30, 1, 29}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Frames << " at " << c.Time);
    a->Skeleton()->SetTransitionTime(c.Time);
    EXPECT_EQ(a->CacheFrameIndex(c.Frames), c.Expected);
  }
}

TEST_F(Manager, MovingAndReplacingKeepEveryReferenceValid) {
  // Moved to another manager, alive.
  auto other = MakeOwned<TVantrelAnimationManager>(nullptr);
  TVantrelAnimation* b = Get("B");
  FManager->PlayAnimation(b);
  b->SetManager(other.get());
  EXPECT_EQ(Get("B"), nullptr);
  EXPECT_EQ(other->GetAnimation(std::string("B")), b);
  EXPECT_EQ(FManager->CurrentValue(), nullptr);
  EXPECT_EQ(b->Manager(), other.get());

  // The current animation's entry replaced: the old one is freed and no longer current.
  FManager->PlayAnimation("A");
  TVantrelAnimation* replacement = TVantrelAnimation::CreateEx(FManager);
  FManager->Animations().AddOrSetValue("A", replacement);
  EXPECT_EQ(FManager->CurrentValue(), nullptr);
  EXPECT_NE(FManager->PlayNextAnimation(), nullptr);

  // Freed directly: it leaves the dictionary.
  Get("C")->Free();
  EXPECT_EQ(Get("C"), nullptr);
  EXPECT_EQ(FManager->Animations().Count(), 1);
}

TEST_F(Manager, SourceLogsAndLoadsNothingWithoutAFile) {
  struct TCase {
    const char* Name;
    std::function<TVantrelAnimation*()> Make;
    std::string Expected;
  } cases[] = {
      {"definition assigned", [&] { return Get("A"); },
       "<WARNING> Existing TVantrelAnimation \"A\" cannot be replaced with \"walk.v3d\""},
      {"no model", [&] { return New<TVantrelAnimation>(FManager); },
       "<WARNING> Owner of TVantrelAnimation \"walk.v3d\" not a TVantrelModel"},
      {"name taken",
       [&] {
         auto* animation = New<TVantrelAnimation>(FManager);
         animation->SetParent(Fixture().Model);
         FManager->Animations().Add("walk.v3d", TVantrelAnimation::CreateEx(FManager));
         return animation;
       },
       "<WARNING> Animation \"walk.v3d\" already exists in TVantrelModel"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TVantrelAnimation* animation = c.Make();
    vtest::TLogCapture log;
    animation->SetSource("walk.v3d");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{c.Expected});
  }
}

TEST_F(Manager, SourceWithoutModelDefinitionOrFile) {
  auto* animation = New<TVantrelAnimation>(FManager);
  animation->SetParent(Fixture().Model);
  Fixture().ModelDef->SetFilename("/models/m.v3d");
  vtest::TLogCapture log;
  animation->SetSource("walk.v3d");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{
                             "<ERROR> failed to auto-load TVantrelAnimation \"walk.v3d\" from \"/models/walk.v3d\""});
  EXPECT_EQ(FManager->GetAnimation(std::string("walk.v3d")), animation);
}

TEST_F(Manager, ForceStepKeepsItsPace) {
  TVantrelAnimationManager::ResetForceStep();
  ui::FreeAniThread();
  EXPECT_TRUE(TVantrelAnimationManager::ForceStep(0.05));
  FManager->PlayAnimation("A");
  FClock.Jump(100);
  EXPECT_TRUE(TVantrelAnimationManager::ForceStep(0.05));
  const double time = Get("A")->Skeleton()->Time();
  FClock.Jump(5);
  EXPECT_FALSE(TVantrelAnimationManager::ForceStep(0.05));
  EXPECT_DOUBLE_EQ(Get("A")->Skeleton()->Time(), time);
  EXPECT_TRUE(TVantrelAnimationManager::ForceStep(0));
  EXPECT_GT(Get("A")->Skeleton()->Time(), time);
}

} // namespace
