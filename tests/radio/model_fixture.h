#pragma once
// The radio models of the model codes, each on a stand-in path of its own
// beside the fixture's generic radio, fed PDUs by hand.
#include <memory>

#include "media/net_play_device.h"
#include "radio/radio_factory.h"
#include "radio_fixture.h"

namespace hcytest {

class ModelTest : public RadioTest {
protected:
    void TearDown() override {
        models_.clear();
        RadioTest::TearDown();
    }

    // A radio of the model code with identifiers (1, 2, 3, 9), user id 8,
    // on the fixture's device; Path(index) is its path.
    std::shared_ptr<CRadioModel> Make(std::uint16_t code, std::size_t* index = nullptr) {
        return Make(CreateRadioModel(code, std::make_shared<CNetPlayDevices>()), index);
    }
    template <class Model>
    std::shared_ptr<Model> Make(std::shared_ptr<Model> model, std::size_t* index = nullptr) {
        model->SetRadioId(1, 2, 3, 9);
        model->SetUserId(8);
        if (index) *index = paths_.size();
        model->AttachRecvPath(device.get(), 0);
        models_.push_back(model);
        Clear();
        return model;
    }

    // The record the path last started, or null.
    static const CReceive* Started(const StandInPath& path) {
        return path.gains.empty() ? nullptr : path.gains.back();
    }

    std::vector<std::shared_ptr<CRadioModel>> models_;
};

}  // namespace hcytest
