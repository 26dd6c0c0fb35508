f = $(if $(word 20,$(1)),$(1),$(call f,$(1) x))
all: ; @echo $(words $(call f,x))
g = $(eval n$(words $(1)) = $(1))
$(call g,a b)
h = $$(eval $$(call h2))
h2 = Q = 1
$(eval $(call h))
