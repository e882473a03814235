// The parameters and record types of the network model, registered in this order.
#include <new>

#include "veskorANN/annStatus.h"
#include "veskorANN/nciDefinitions.h"

namespace {

constexpr double kFloatLimit = 1e30;
constexpr double kInt32Min = -2147483648.0;
constexpr double kInt32Max = 2147483647.0;

constexpr nciParameterDescription floatParameter(const char* name, const char* description) {
  return {name, kNciFloat32, 0, -kFloatLimit, kFloatLimit, 0, description};
}
constexpr nciParameterDescription unlimitedFloat(const char* name, const char* description) {
  return {name, kNciFloat32, 0, 0.0, 0.0, 0, description};
}
constexpr nciParameterDescription intParameter(const char* name, const char* description) {
  return {name, kNciInt32, 0, kInt32Min, kInt32Max, 0, description};
}
constexpr nciParameterDescription countParameter(const char* name, const char* description, int32_t fixed = 0,
                                                 int32_t elements = 0) {
  return {name, kNciInt32, elements, 0.0, kInt32Max, fixed, description};
}
constexpr nciParameterDescription rangeParameter(const char* name, double lower, double upper,
                                                 const char* description, int32_t fixed = 0) {
  return {name, kNciInt32, 0, lower, upper, fixed, description};
}
constexpr nciParameterDescription textParameter(const char* name, const char* description,
                                                int32_t fixed = 0) {
  return {name, kNciText, 0, 0.0, 0.0, fixed, description};
}

const nciParameterDescription kParameters[] = {
    floatParameter("nc_ur_exc", "Reversal potential of exitatory synapse"),
    floatParameter("nc_ur_inh", "Reversal potential of inhibitory synapse"),
    floatParameter("nc_ur_shunt", "Reversal potential of shunting inhibition synapse"),
    floatParameter("nc_u_rest", "Resting potential"),
    floatParameter("nc_e_rest", "Inertia term for resting potential"),
    {"nc_alpha", kNciFloat32, 0, 0.0, 1.0, 0, "Konstante fuer Abklingterm bei Membranpotential"},
    floatParameter("nc_thr_ll", "Untergrenze der Schwellenfunktion"),
    floatParameter("nc_thr_ul", "Obergrenze der Schwellenfunktion"),
    floatParameter("ccm_max_akt", "Maximales Ergebnis der Schwellenfunktion"),
    floatParameter("sc_act", "Current activity"),
    floatParameter("sc_mp", "Current membrane potential"),
    floatParameter("sc_mp_off", "Abklingpotential"),
    intParameter("conccm_neu_prae", "presynaptic Neuron"),
    floatParameter("conccm_strength", "Synaptic efficacy"),
    countParameter("vs_x", "X-Coordinate for VIEWSGL"),
    countParameter("vs_y", "Y-Coordinate for VIEWSGL"),
    countParameter("vs_z", "Z-Coordinate for VIEWSGL"),
    countParameter("vr_x_start", "X-Start-Coordinate for VIEWRECT"),
    countParameter("vr_x_len", "X-Width of VIEWRECT"),
    countParameter("vr_y_start", "Y-Start-Coordinate for VIEWRECT"),
    countParameter("vr_y_len", "Y-Width of VIEWRECT"),
    floatParameter("da_inistrength", "Initial synaptic strength for DISTRALL"),
    floatParameter("proj_inistrength", "Initial synaptic strength for DISTRPROJ"),
    floatParameter("dra_inistrength", "Initial synaptic strength for DISTRRECTABS"),
    countParameter("dra_x_start", "X-Coordinate for DISTRRECTABS"),
    countParameter("dra_x_len", "X-Width for DISTRRECTABS"),
    countParameter("dra_y_start", "Y-Coordinate for DISTRRECTABS"),
    countParameter("dra_y_len", "Y-Height for DISTRRECTABS"),
    floatParameter("dsr_inistrength", "Initial synaptic strength for DISTRSGLABS"),
    unlimitedFloat("dar_ug", "Lower Limit for random weights"),
    unlimitedFloat("dar_og", "Upper Limit for random weights"),
    countParameter("neighbour_length", "radius of sphere of neighbourhood"),
    rangeParameter("neighbour_dimension", 1.0, 3.0, "dimension of sphere of neighbourhood"),
    {"neighbour_ini_str", kNciFloat64, 0, -2147483647.0, 2147483647.0, 0,
     "strength of connection between neighbours"},
    unlimitedFloat("d21_inistrength", "Initial synaptic strength for DISTR2D1D"),
    textParameter("p_proj", "Name of projection"),
    textParameter("p_view", "Name of view"),
    textParameter("p_distr", "Name of distribution"),
    intParameter("p_synapse_t", "Synaptic type"),
    textParameter("p_layer_prae", "Name of presynaptic layer"),
    textParameter("p_layer_post", "Name of postsynaptic layer"),
    rangeParameter("p_when_update", 0.0, 2.0,
                   "defines if repeat-synapse is generated or not (0: never, 1: y, 2: z"),
    textParameter("l_nt", "Name of neuron type"),
    rangeParameter("l_dim", 1.0, 3.0, "Dimensionality of layer", 1),
    countParameter("l_n_neu", "Size of layer", 1),
    countParameter("l_nt_id", "Neuron type of layers"),
    countParameter("l_len", "Size of layer in each dimension", 1, 3),
    countParameter("l_x_border", "X-Border"),
    countParameter("l_y_border", "Y-Border"),
    countParameter("l_z_border", "Z-Border"),
    rangeParameter("l_border_status", 0.0, 1.0, "status of border"),
    countParameter("l_offset", "Offset of layers in network", 1),
    intParameter("l_prio", "computing priority of layers"),
    countParameter("l_n_proj", "Number of projections to layer", 1),
    textParameter("net_net", "Name of Network", 1),
    {"net_models", kNciInt32, 0, kInt32Min, kInt32Max, 1, "ID's of neuron models (not sup. yet)"},
    countParameter("net_n_layer", "Number of layers in network", 1),
    {"net_n_nt", kNciInt32, 0, kInt32Min, kInt32Max, 1, "Number of neuron types in network"},
    {"", 0, 0, 0.0, 0.0, 0, ""},
};

const nciTypeDescription kTypes[] = {
    {"_NTCCM", kNciKindRecord, "nc_ur_exc", "nc_thr_ul", 0, "Neurontype for CCM"},
    {"_SVCCM", kNciKindRecord, "sc_act", "sc_mp_off", 0, "State vector description for CCM Neurons"},
    {"_CONCCM", kNciKindRecord, "conccm_neu_prae", "conccm_strength", 0, "Matrix element type for CCM"},
    {"VIEWALL", kNciKindRecord, "", "", 0, "View for all neurons of a layer"},
    {"VIEWSGL", kNciKindRecord, "vs_x", "vs_z", 0, "View for a single neuron"},
    {"VIEWRECT", kNciKindRecord, "vr_x_start", "vr_y_len", 0, "View defining a rectangle"},
    {"DISTRALL", kNciKindRecord, "da_inistrength", "", 0, "Distribution for all neurons of a layer"},
    {"DISTRPROJ", kNciKindRecord, "proj_inistrength", "", 0,
     "Distribution for projection from one layer to another"},
    {"DISTRRECTABS", kNciKindRecord, "dra_inistrength", "dra_y_len", 0,
     "Distribution for an absolute rectangle"},
    {"DISTRSGLREL", kNciKindRecord, "dsr_inistrength", "", 0, "Distribution for connection 1:1"},
    {"DISTRALLRAND", kNciKindRecord, "dar_ug", "dar_og", 0, "Distribution randomly inited. weights"},
    {"DISTRNEIGHBOUR", kNciKindRecord, "neighbour_length", "neighbour_ini_str", 0,
     "Distribution for connections to all neighbours"},
    {"DISTR2D1D", kNciKindRecord, "d21_inistrength", "", 0,
     "Distribution for convergence from rectangle to 1-dim-layer"},
    {"DISTR_NTD_D_REPT", kNciKindRecord, "", "", 0, "Distribution for virtual connections"},
    {"_PROJ", kNciKindRecord, "p_proj", "p_when_update", kNciTypeFixed, "Projection object"},
    {"_LAYER", kNciKindRecord, "l_nt", "l_n_proj", 0, "Type of layer object"},
    {"_NETHDR", kNciKindRecord, "net_net", "net_n_nt", kNciTypeFixed, "Type of header for network"},
    {"", 0, "", "", 0, ""},
};

}  // namespace

nciDefinitions* nciDefinitions_create(int32_t* pStatus) {
  int32_t ignored;
  int32_t& status = pStatus != nullptr ? *pStatus : ignored;
  nciDefinitions* registry = new (std::nothrow) nciDefinitions;
  if (registry == nullptr) {
    status = kNciOutOfMemory;
    return nullptr;
  }
  status = nciDefinitions_addParameters(kParameters, kNciNameParameter, registry);
  if (status == kAnnOk) status = nciDefinitions_addTypes(kTypes, registry);
  if (status != kAnnOk) {
    nciDefinitions_free(registry);
    return nullptr;
  }
  return registry;
}
