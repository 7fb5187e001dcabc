// Subgroup ballots: ballot, bit counts, inverse ballot, broadcast, broadcastFirst and the subgroup masks.
// env: vulkan1.1
#version 450
#extension GL_KHR_shader_subgroup_ballot : require

layout(local_size_x = 64) in;

layout(set = 0, binding = 0, std430) buffer Data {
	uint values[64];
	uvec4 masks[64];
} data;

void main() {
	uint i = gl_LocalInvocationIndex;
	uint v = data.values[i];
	uvec4 ballot = subgroupBallot((v & 1u) == 1u);
	uint count = subgroupBallotBitCount(ballot);
	uint before = subgroupBallotExclusiveBitCount(ballot);
	uint first = subgroupBallotFindLSB(ballot);
	bool mine = subgroupBallotBitExtract(ballot, gl_SubgroupInvocationID) && subgroupInverseBallot(ballot);
	uint leader = subgroupBroadcastFirst(v);
	uint zero = subgroupBroadcast(v, 0u);
	data.values[i] = count + before + first + leader + zero + (mine ? 1u : 0u);
	data.masks[i] = gl_SubgroupEqMask | gl_SubgroupLtMask ^ gl_SubgroupGeMask;
}
