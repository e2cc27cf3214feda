// The bracket count's step over one block of 64 bytes, written once for every instruction set:
// bracket_counter.cpp includes this file inside a namespace per instruction set, after the
// primitives below and inside that set's target region. No include guard, on purpose.
//
// Expected in the including namespace:
//   Vector                      a vector of `lanes` bytes
//   Vector load(const char*)    `lanes` bytes, unaligned
//   Vector splat(char)          the byte in every lane
//   Vector equal(Vector, Vector), Vector either(Vector, Vector)
//   std::uint64_t bits(Vector)  a lane's top bit per bit
//   std::size_t count(std::uint64_t)

// A block of 64 bytes, classified by masks: one bit per byte.
struct Block {
    static constexpr std::size_t chunks = 64 / lanes;
    Vector bytes[chunks];

    explicit Block(const char* p) noexcept {
        for (std::size_t i = 0; i < chunks; ++i) {
            bytes[i] = load(p + i * lanes);
        }
    }
    // The bytes that are `c`.
    std::uint64_t are(char c) const noexcept {
        std::uint64_t mask = 0;
        const Vector wanted = splat(c);
        for (std::size_t i = 0; i < chunks; ++i) {
            mask |= bits(equal(bytes[i], wanted)) << (i * lanes);
        }
        return mask;
    }
    // The bytes that are `c` with bit 0x20 set: '{' finds '[' too, '}' finds ']'.
    std::uint64_t are_folded(char c) const noexcept {
        std::uint64_t mask = 0;
        const Vector wanted = splat(c);
        const Vector fold = splat(0x20);
        for (std::size_t i = 0; i < chunks; ++i) {
            mask |= bits(equal(either(bytes[i], fold), wanted)) << (i * lanes);
        }
        return mask;
    }
};

// The count over one block; false, changing nothing, where the block holds a reverse solidus
// outside a string or may hold the end of the value, and the byte path takes it.
inline bool take_block(const char* p, BlockCount& state) noexcept {
    const Block block(p);
    const std::uint64_t backslash = block.are('\\');
    bool carry = state.escaped;
    // A quotation mark that a reverse solidus escapes neither opens nor closes a string.
    const std::uint64_t quote = block.are('"') & ~escaped_bytes(backslash, carry);
    // Inside a string: after an odd number of quotation marks, with the state carried in.
    const std::uint64_t in_string =
        prefix_xor(quote) ^ (state.in_string ? ~std::uint64_t{0} : 0);
    // A reverse solidus outside a string escapes nothing there (the byte path's reading); the
    // masks above let it escape.
    if ((backslash & ~in_string) != 0) {
        return false;
    }
    const std::size_t opens = count(block.are_folded('{') & ~in_string);
    const std::size_t closes = count(block.are_folded('}') & ~in_string);
    // As many closing brackets as are open: the value may end in this block; or it may nest
    // too deep.
    if (closes >= state.depth || state.depth + opens > BracketCounter::max_depth) {
        return false;
    }
    state.depth = state.depth + opens - closes;
    state.in_string = (in_string >> 63) != 0;
    state.escaped = carry;
    return true;
}
