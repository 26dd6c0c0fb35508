a b :: c
	echo $@ \
	  more
a :: d
	@echo second $?
c:;@echo c
d: e | f
.RECIPEPREFIX = >
e:
>echo $(@D) $(@F) $(<D) $(^F)
f: ; echo ${@} $$$$HOME
