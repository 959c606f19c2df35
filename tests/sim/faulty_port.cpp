#include "tests/sim/faulty_port.h"

#include "serial/serial_device.h"
#include "serial/serial_port.h"

namespace kv::test {

namespace {

class FaultyDevice final : public SerialDevice {
  public:
    FaultyDevice(std::unique_ptr<SerialDevice> inner, std::shared_ptr<WriteRule> rule)
        : inner_(std::move(inner)), rule_(std::move(rule)) {}
    bool configure(int baud, int dataBits, int parity, double stopBits) override {
        return inner_->configure(baud, dataBits, parity, stopBits);
    }
    bool setLine(int line, bool level) override { return inner_->setLine(line, level); }
    int write(const uint8_t* data, int count) override {
        const bool swallow = (*rule_)(previous_, data, count);
        previous_.assign(data, data + count);
        return swallow ? count : inner_->write(data, count);
    }
    int read(uint8_t* data, int count) override { return inner_->read(data, count); }
    int inputCount() override { return inner_->inputCount(); }

  private:
    std::unique_ptr<SerialDevice> inner_;
    std::shared_ptr<WriteRule> rule_;
    std::vector<uint8_t> previous_;
};

}  // namespace

void RegisterFaultyPort(std::u16string_view name, std::shared_ptr<SimBus> bus, WriteRule rule) {
    auto shared = std::make_shared<WriteRule>(std::move(rule));
    SerialRegisterVirtualPort(name, [bus, shared]() -> std::unique_ptr<SerialDevice> {
        auto inner = bus->attach();
        if (!inner) return nullptr;
        return std::make_unique<FaultyDevice>(std::move(inner), shared);
    });
}

std::vector<uint8_t> SlotBytes(uint8_t value) {
    std::vector<uint8_t> slots;
    for (int bit = 0; bit < 8; ++bit) slots.push_back((value >> bit) & 1 ? 0xFF : 0x00);
    return slots;
}

}  // namespace kv::test
